#pragma once
// Puts a text body into a cpprestsdk request or response.

#include <string>
#include <vector>

#include <cpprest/http_msg.h>

namespace tvo {

// The bytes go in through cpprestsdk's byte-vector path: its text overloads
// read a char buffer through an unsigned-char stream type, which UBSan
// reports as a bad cast inside cpprestsdk's headers.
template <typename Message>
void SetTextBody(Message& message, const std::string& body, const std::string& contentType) {
    message.set_body(std::vector<unsigned char>(body.begin(), body.end()));
    message.headers().set_content_type(contentType);
}

}  // namespace tvo
