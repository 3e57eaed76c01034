#include "web/launch.h"

const char LAUNCHER_FILE_NAME[] = "brevindor-web.html";

static std::string pageMovingTo(const std::string& address, const std::string& words)
{
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"refresh\" content=\"0; url=" +
           address + "\">\n<title>brevindor-web</title>\n</head>\n<body>\n<p><a href=\"" + address + "\">" + words +
           "</a></p>\n</body>\n</html>\n";
}

std::string launcherText(const std::string& address)
{
    return pageMovingTo(address, "Open the commissioning page");
}

std::string loginPageText()
{
    return pageMovingTo("/", "Open the commissioning page");
}
