#include "HttpRest/HttpServer.h"

namespace tvo {

std::string HttpServer::getUriPath(const std::string& uri) {
    const std::string path = uri.substr(0, uri.find_first_of("?#"));
    const auto first = path.find_first_not_of('/');
    if (first == std::string::npos) {
        return std::string();
    }
    const auto last = path.find_last_not_of('/');
    return path.substr(first, last - first + 1);
}

std::string HttpServer::getUriQuery(const std::string& uri) {
    const auto mark = uri.find_first_of("?#");
    if (mark == std::string::npos || uri[mark] != '?') {
        return std::string();
    }
    const auto fragment = uri.find('#', mark);
    return uri.substr(mark + 1, fragment == std::string::npos ? std::string::npos : fragment - mark - 1);
}

}  // namespace tvo
