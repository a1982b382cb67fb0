#include "ServerText.h"

#include <strings.h>

bool split_server_text(const std::string& text, std::string* host, std::string* port, bool* tls)
{
    host->clear();
    static const char kScheme[] = "ircs://";
    const size_t schemeLength = sizeof(kScheme) - 1;
    const bool scheme =
        text.size() >= schemeLength && strncasecmp(text.c_str(), kScheme, schemeLength) == 0;
    std::string rest = scheme ? text.substr(schemeLength) : text;
    // A link copied from a web page may end in "/".
    if (scheme && !rest.empty() && rest.back() == '/')
        rest.pop_back();
    *port = scheme ? "6697" : "6667";
    bool secure = scheme;
    std::string portText;
    bool hasPort = false;
    if (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        if (close == std::string::npos)
            return false;
        *host = rest.substr(1, close - 1);
        std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':')
                return false;
            portText = after.substr(1);
            hasPort = true;
        }
    } else {
        size_t colon = rest.find(':');
        *host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            portText = rest.substr(colon + 1);
            hasPort = true;
        }
    }
    if (hasPort) {
        if (!portText.empty() && portText[0] == '+') {
            secure = true;
            portText.erase(0, 1);
        }
        *port = portText;
    }
    if (tls != nullptr)
        *tls = secure;
    return !host->empty();
}
