#pragma once
// The program as a whole: its name and title, its folder, the existence test and how it ends.
#include "core/program.h"
#include <functional>
#include <string>

namespace app {

class Desktop;

// The application title made from a product name: cut at the last blank, repeatedly, until 40 characters
// or fewer remain; at least one cut is made. A name with no blank left to cut keeps the text it has
// reached (so "Rowsifter" stays "Rowsifter").
std::string titleFromProductName(const std::string& productName);

// Sets the application title from the product name; message boxes without a title of their own use it.
void SetApplicationTitle();
const std::string& applicationTitle();

// The folder that holds the executable, without a trailing separator.
std::string programFolder();
void setProgramFolderForTesting(const std::string& folder); // empty: the real folder again

// Whether `path` names an existing file (its modification time can be read). Never throws.
bool FileExists(const std::string& path);

// Ends the whole program at once: no other window's unload routine runs, nothing is saved (settings are
// written on every change). Tests install a handler instead; the caller must then return at once.
void endProgram(int status);
void setEndProgramHandler(std::function<void(int)> handler); // nullptr: really end again (and forget an end)
// Whether endProgram has been called (only ever seen when a handler let it return).
bool programEnding();

// The start-up promotion: draws a whole number from 1 to 100 from the seam's random fraction and opens
// `address` when it is 7 (an empty address opens nothing). Returns the number drawn.
int runPromotion(Desktop& desktop, const std::string& address);
// The vendor's home page the promotion opens (a build setting, empty by default).
const std::string& homePageAddress();

} // namespace app
