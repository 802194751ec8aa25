// How the emulated base misbehaves on request, and how an exchange reads in
// its log.

#include "VeltaBaseState.h"

#include <DockProtocol/RestMessages.h>

#include <sstream>

namespace tvo::DockSim {
namespace {

std::string Shorten(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    return text.substr(0, limit) + "... (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace

std::optional<BodyFault> ParseBodyFault(const std::string& name) {
    if (name == "none")
        return BodyFault::None;
    if (name == "malformed")
        return BodyFault::MalformedJson;
    if (name == "wrong-types")
        return BodyFault::WrongTypes;
    if (name == "missing")
        return BodyFault::MissingMembers;
    if (name == "huge")
        return BodyFault::Huge;
    return std::nullopt;
}

std::optional<ReplyScript> ParseReplyScript(const std::string& text) {
    ReplyScript script;
    if (text == "close") {
        script.hangUp = true;
        return script;
    }
    if (text == "never") {
        script.never = true;
        return script;
    }
    if (text == "cut-body") {
        script.cutBody = true;
        return script;
    }
    if (text == "untyped") {
        script.untyped = true;
        return script;
    }
    if (const auto fault = ParseBodyFault(text)) {
        script.body = *fault;
        return script;
    }
    try {
        std::size_t used = 0;
        if (text.rfind("slow:", 0) == 0 || text.rfind("trickle:", 0) == 0) {
            const std::size_t colon = text.find(':') + 1;
            const long ms = std::stol(text.substr(colon), &used);
            if (ms >= 0 && used == text.size() - colon) {
                (text[0] == 's' ? script.delay : script.bodyAfter) = std::chrono::milliseconds(ms);
                return script;
            }
        } else {
            const unsigned long status = std::stoul(text, &used);
            if (used == text.size() && status >= 100 && status <= 599) {
                script.status = static_cast<unsigned>(status);
                return script;
            }
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::optional<LogDownload> ParseLogDownload(const std::string& name) {
    if (name == "whole")
        return LogDownload::Whole;
    if (name == "half-way")
        return LogDownload::HalfWay;
    if (name == "garbage")
        return LogDownload::Garbage;
    if (name == "missing")
        return LogDownload::Missing;
    return std::nullopt;
}

std::string MessageTypeOf(const std::string& targetOrQuery) {
    const auto query = targetOrQuery.find('?');
    const auto found = targetOrQuery.find("type=", query == std::string::npos ? 0 : query);
    return found == std::string::npos ? std::string() : targetOrQuery.substr(found + 5);
}

std::string ApplyFault(web::json::value message, BodyFault fault, std::size_t hugeBytes) {
    switch (fault) {
        case BodyFault::None: break;
        case BodyFault::MalformedJson: {
            const std::string text = message.serialize();
            return text.substr(0, text.size() / 2);
        }
        case BodyFault::WrongTypes:
            for (auto& [key, member] : message.as_object()) {
                if (key == "msg_type" || key == "message-header") {
                    continue;
                }
                if (member.is_string()) {
                    member = web::json::value::number(7);
                } else if (member.is_number()) {
                    member = web::json::value::string(member.serialize());
                } else if (member.is_boolean()) {
                    member = web::json::value::string(member.as_bool() ? "true" : "false");
                }
            }
            break;
        case BodyFault::MissingMembers: {
            web::json::value envelope = web::json::value::object(false);
            for (const auto& key : {"msg_type", "message-header"}) {
                if (message.has_field(key)) {
                    envelope[key] = message.at(key);
                }
            }
            message = envelope;
            break;
        }
        case BodyFault::Huge: message["padding"] = web::json::value::string(std::string(hugeBytes, 'x')); break;
    }
    return message.serialize();
}

std::string ApplyTextFault(const std::string& text, BodyFault fault, std::size_t hugeBytes) {
    switch (fault) {
        case BodyFault::None: return text;
        case BodyFault::MalformedJson: return "{\"reply\": \"" + text;
        case BodyFault::WrongTypes: return "[" + std::to_string(text.size()) + "]";
        case BodyFault::MissingMembers: return "";
        case BodyFault::Huge: return text + std::string(hugeBytes, ' ');
    }
    return text;
}

std::string Describe(const Exchange& exchange, std::size_t bodyChars) {
    std::ostringstream line;
    line << (exchange.direction == Exchange::Direction::CameraToBase ? "camera -> base " : "base -> camera ")
         << exchange.method << ' ' << (exchange.type.empty() ? exchange.target : exchange.type);
    if (exchange.status != 0) {
        line << " -> " << exchange.status;
    }
    if (!exchange.error.empty()) {
        line << " (" << exchange.error << ')';
    }
    if (bodyChars > 0) {
        line << "\n    sent: " << Shorten(exchange.request, bodyChars);
        if (exchange.status != 0) {
            line << "\n    answer: " << Shorten(exchange.reply, bodyChars);
        }
    }
    return line.str();
}

}  // namespace tvo::DockSim
