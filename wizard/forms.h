#pragma once
// The four pages. Each is created, and its load routine run, the first time it is used; from then on it
// is only shown and hidden until the program ends.
namespace wizard {

class Form1;
class Form2;
class Form3;
class Form4;

Form1& form1(); // database page (start-up window)
Form2& form2(); // table page
Form3& form3(); // field page
Form4& form4(); // output page

// Whether a page exists yet (without creating it).
bool isLoaded(int page);

// Program start: loads the database page and shows it, unless its load has already moved on to the table
// page (a remembered database that exists) or ended the program.
void startUp();

// Deletes every page, so that the next use creates and loads it afresh (tests; and the program before
// it leaves).
void unloadAll();

} // namespace wizard
