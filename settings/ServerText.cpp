#include "ServerText.h"

bool split_server_text(const std::string& text, std::string* host, std::string* port)
{
    host->clear();
    *port = "6667";
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        *host = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return false;
            *port = rest.substr(1);
        }
        return !host->empty();
    }
    size_t colon = text.find(':');
    *host = text.substr(0, colon);
    if (colon != std::string::npos)
        *port = text.substr(colon + 1);
    return !host->empty();
}
