// The browser's way in without the token on any command line (where every user of the computer
// can read it): the browser is opened on a file that only this user can read, which takes it to
// the page with a one-time token; the server's own login page then sets the cookie.
#pragma once

#include <string>

// The launcher file's name, and its HTML: it moves on to address (the page with the one-time
// token) at once, and links there too.
extern const char LAUNCHER_FILE_NAME[];
std::string launcherText(const std::string& address);

// The page that answers the one-time token: served from the server's own origin with the cookie,
// it moves on to the page (a meta refresh: no script, as the page's policy allows none inline).
std::string loginPageText();
