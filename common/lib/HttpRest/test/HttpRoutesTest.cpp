// Where a request goes once it has arrived, for every transport alike.

#include "HttpRest/HttpServer.h"

#include <Logger/LogClient.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace tvo {
namespace {

using Method = HttpServerIF::HandlerMethodType;

std::string Relative(const HttpRoutes& routes, const std::string& target) {
    std::string relative;
    return routes.RelativeUri(target, relative) ? relative : "<outside>";
}

TEST(HttpRoutes, TargetsAreTakenRelativeToTheListeningPath) {
    const HttpRoutes api("/api//");
    EXPECT_EQ(Relative(api, "/api/x?type=y"), "x?type=y");
    EXPECT_EQ(Relative(api, "/api?type=y"), "?type=y");
    EXPECT_EQ(Relative(api, "/api"), "");
    // The absolute form names the same resource, whatever host it names.
    EXPECT_EQ(Relative(api, "http://dock.local:55006/api/x"), "x");
    EXPECT_EQ(Relative(api, "http://dock.local"), "<outside>");
    EXPECT_EQ(Relative(api, "/apixyz"), "<outside>");
    EXPECT_EQ(Relative(api, "/other/api/x"), "<outside>");

    const HttpRoutes root("");
    EXPECT_EQ(Relative(root, "?type=say_hello"), "?type=say_hello");
    EXPECT_EQ(Relative(root, "http://dock.local"), "");
    EXPECT_EQ(Relative(root, "/x"), "x");
}

TEST(HttpRoutes, AnswersAreTheHandlersOrTheServersOwn) {
    ScopedLogCapture log;
    HttpRoutes routes("api/");
    routes.setHandler([](const std::string& uri,
                         const std::string& body) { return std::make_pair(HttpServerIF::OK, uri + ":" + body); },
                      Method::Put);
    routes.setHandler(
        [](const std::string& uri, const std::string&) -> HttpRoutes::Reply {
            if (uri == "odd") {
                throw 42;
            }
            throw std::runtime_error("no " + uri);
        },
        Method::Get);
    routes.setHandler(
        [](const std::string&, const std::string&) { return std::make_pair(HttpServerIF::OK, std::string()); },
        static_cast<Method>(9));
    EXPECT_TRUE(log.Sink().Contains("Handler for unknown method value 9 ignored"));

    EXPECT_EQ(routes.Answer("PUT", "/api/x", "{}"), HttpRoutes::Reply(HttpServerIF::OK, "x:{}"));
    EXPECT_EQ(routes.Answer("PUT", "/elsewhere", "{}"), HttpRoutes::Reply(HttpServerIF::NotFound, "not found"));
    EXPECT_EQ(routes.Answer("POST", "/api/x", ""),
              HttpRoutes::Reply(HttpServerIF::MethodNotAllowed, "method not allowed"));
    EXPECT_EQ(routes.Answer("BREW", "/api/x", "").first, HttpServerIF::MethodNotAllowed);
    EXPECT_EQ(routes.Answer("GET", "/api/thing", ""), HttpRoutes::Reply(HttpServerIF::InternalError, "internal error"));
    EXPECT_TRUE(log.Sink().Contains("Handler for GET thing failed: no thing"));
    EXPECT_EQ(routes.Answer("GET", "/api/odd", "").first, HttpServerIF::InternalError);
    EXPECT_TRUE(log.Sink().Contains("failed with a non-standard exception"));

    // The protocol's own error bodies; one that cannot be made leaves the reason.
    routes.setErrorBodyMaker([](HttpServerIF::StatusCode status, const std::string& reason) {
        if (status == HttpServerIF::NotFound) {
            throw std::runtime_error("no body for 404");
        }
        return "{\"error\":\"" + reason + "\"}";
    });
    EXPECT_EQ(routes.Answer("POST", "/api/x", "").second, "{\"error\":\"method not allowed\"}");
    EXPECT_EQ(routes.Answer("PUT", "/elsewhere", "").second, "not found");
    EXPECT_TRUE(log.Sink().Contains("Error body not made: no body for 404"));
}

TEST(HttpRoutes, JsonBodiesAreToldFromText) {
    for (const char* json : {"{}", "  [1]", "\n\"text\""}) {
        EXPECT_TRUE(LooksLikeJson(json)) << json;
    }
    for (const char* text : {"", "   ", "OK", "404 not found"}) {
        EXPECT_FALSE(LooksLikeJson(text)) << text;
    }
}

}  // namespace
}  // namespace tvo
