// Opening the page in the user's default browser.
#pragma once

#include <string>

// Asks the desktop to open url (xdg-open; ShellExecute on Windows); false when it could not be asked.
bool openBrowser(const std::string& url);
