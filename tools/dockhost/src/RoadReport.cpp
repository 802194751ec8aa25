#include "RoadReport.h"

#include <cpprest/json.h>

#include <algorithm>
#include <ostream>
#include <sstream>

namespace dockhost {

RoadReport::RoadReport(std::ostream& out, bool json) : out(out), json(json) {}

bool RoadReport::Step(const std::string& name, ReturnCode code, std::initializer_list<ReturnCode> expected,
                      const Values& values) {
    const bool ok = std::find(expected.begin(), expected.end(), code) != expected.end();
    EndProgress();
    ++steps;
    failures += ok ? 0 : 1;
    if (json) {
        auto line = web::json::value::object();
        line["step"] = web::json::value::string(name);
        line["code"] = web::json::value::string(std::string(tvo::ToString(code)));
        line["ok"] = web::json::value::boolean(ok);
        auto fields = web::json::value::object();
        for (const auto& [key, value] : values) {
            fields[key] = web::json::value::string(value);
        }
        line["values"] = fields;
        out << line.serialize() << '\n';
    } else {
        out << (ok ? "  ok   " : "  FAIL ") << name << " -> " << code;
        if (!ok) {
            out << " (expected";
            for (auto want : expected) {
                out << ' ' << want;
            }
            out << ')';
        }
        out << '\n';
        for (const auto& [key, value] : values) {
            out << "         " << key << ": " << value << '\n';
        }
    }
    out.flush();
    return ok;
}

void RoadReport::Note(const std::string& text) {
    EndProgress();
    if (json) {
        auto line = web::json::value::object();
        line["note"] = web::json::value::string(text);
        out << line.serialize() << '\n';
    } else {
        out << "  ..   " << text << '\n';
    }
    out.flush();
}

void RoadReport::Progress(const std::string& text) {
    if (json) {
        return;
    }
    out << "\r  ..   " << text << "\x1b[K";
    out.flush();
    progressShown = true;
}

void RoadReport::EndProgress() {
    if (progressShown) {
        out << '\n';
        progressShown = false;
    }
}

void RoadReport::Stop(const std::string& missing) {
    EndProgress();
    stopped = missing.empty() ? std::string("the rest of the road cannot run") : missing;
    if (json) {
        auto line = web::json::value::object();
        line["stopped"] = web::json::value::string(stopped);
        out << line.serialize() << '\n';
    } else {
        out << "  STOP " << stopped << '\n';
    }
    out.flush();
}

void RoadReport::Finish(const std::string& dock) {
    EndProgress();
    if (json) {
        auto line = web::json::value::object();
        line["dock"] = web::json::value::string(dock);
        line["steps"] = web::json::value::number(steps);
        line["failed"] = web::json::value::number(failures);
        line["passed"] = web::json::value::boolean(Passed());
        if (!stopped.empty()) {
            line["stopped"] = web::json::value::string(stopped);
        }
        out << line.serialize() << '\n';
    } else {
        out << dock << " road: " << steps - failures << " of " << steps << " steps as expected"
            << (Passed() ? "" : " -- FAILED") << (stopped.empty() ? "" : ", stopped: " + stopped) << '\n';
    }
    out.flush();
}

std::string Describe(const tvo::DockProtoIF::ServerInfo& info) {
    std::ostringstream text;
    text << info;
    // The slot goes out as a raw byte; show it as a number too for people.
    text << " (slot " << static_cast<unsigned>(info.slotId) << ')';
    std::string printable;
    for (char c : text.str()) {
        if (static_cast<unsigned char>(c) < 0x20) {
            static const char hex[] = "0123456789abcdef";
            printable += "\\x";
            printable += hex[(c >> 4) & 0xF];
            printable += hex[c & 0xF];
        } else {
            printable += c;
        }
    }
    return printable;
}

Values Describe(const tvo::DockProtoIF::NetworkConfig& config) {
    return {{"addressMode", std::to_string(config.addressMode)},
            {"ipAddress", config.ipAddress},
            {"netmask", config.netmask},
            {"gateway", config.gateway},
            {"dns", config.dns},
            {"macAddress", config.macAddress}};
}

Values Describe(const tvo::DockProtoIF::AssociationInfo& association) {
    return {{"ssid", association.ssid},
            {"psk", association.psk.empty() ? "" : "(set)"},
            {"ipAddr", association.ipAddr},
            {"macId", association.macId},
            {"mqttAddress", association.mqttAddress},
            {"mqttPassword", association.mqttPassword.empty() ? "" : "(set)"},
            {"mqttCertificate", association.mqttCertificate.empty() ? "" : "(set)"},
            {"mqttPortNumber", std::to_string(association.mqttPortNumber)}};
}

}  // namespace dockhost
