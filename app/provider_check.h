#pragma once
// The start-up test that the database library can be used, with the offer to fetch the missing engine.
#include <string>
#include <vector>

namespace app {

// True when a connection object can be created. Otherwise, for a "provider cannot be found" failure,
// asks (Yes/No) whether to open the two download pages and opens them on Yes; returns false.
// Never throws.
bool IsProviderInstalled();

// The message of that question, paragraphs separated by CR LF CR LF.
std::string providerMissingMessage();

// The two download pages, the 2010 package first.
std::vector<std::string> providerDownloadAddresses();

} // namespace app
