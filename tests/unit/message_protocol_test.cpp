#include "messaging/message_protocol.h"

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "messaging/directory_folders.h"

namespace {

// Writes each call as one line of text so a table can name the expected calls.
class RecordingActions : public MessageActions {
  public:
    std::vector<std::string> calls;
    bool throwOnInit = false;

    void WrapperInit() override {
        calls.push_back("init");
        if (throwOnInit) throw std::runtime_error("handshake failed");
    }
    void SetFullscreen(bool fullscreen) override {
        calls.push_back(std::string("fullscreen ") + (fullscreen ? "true" : "false"));
    }
    void SetWindowSize(std::int32_t width, std::int32_t height) override {
        calls.push_back("size " + std::to_string(width) + " " + std::to_string(height));
    }
    void SetWindowPosition(std::int32_t x, std::int32_t y) override {
        calls.push_back("position " + std::to_string(x) + " " + std::to_string(y));
    }
    void ExtensionMessage(const std::string& text) override {
        calls.push_back("extension " + text);
    }
};

struct MessageCase {
    std::string text;
    std::vector<std::string> calls;  // empty: the message is ignored
};

void ExpectDispatch(const std::vector<MessageCase>& cases) {
    for (const MessageCase& c : cases) {
        RecordingActions actions;
        DispatchWebMessage(c.text, actions);
        EXPECT_EQ(actions.calls, c.calls) << c.text;
    }
}

TEST(MessageProtocol, TheFiveTypes) {
    ExpectDispatch({
        {R"({"type":"wrapper-init"})", {"init"}},
        {R"(  {"type":"wrapper-init","extra":[1,2]}  )", {"init"}},
        {R"({"type":"set-fullscreen","fullscreen":true})", {"fullscreen true"}},
        {R"({"type":"set-fullscreen","fullscreen":false})", {"fullscreen false"}},
        {R"({"type":"set-window-size","windowWidth":800,"windowHeight":600})", {"size 800 600"}},
        {R"({"windowHeight":600,"windowWidth":800,"type":"set-window-size"})", {"size 800 600"}},
        {R"({"type":"set-window-position","windowX":-50,"windowY":10})", {"position -50 10"}},
        {R"({"type":"extension-message","to":"x"})",
         {R"(extension {"type":"extension-message","to":"x"})"}},
        // Passed on byte for byte: white space, unknown members and escapes as the page sent them.
        {"\n{ \"type\" : \"extension-message\", \"data\": \"\\u00e9\xC3\xA9\", \"n\": 1.50 }\t",
         {"extension \n{ \"type\" : \"extension-message\", \"data\": \"\\u00e9\xC3\xA9\", "
          "\"n\": 1.50 }\t"}},
    });
}

TEST(MessageProtocol, MissingAndWrongMemberTypesTakeDefaults) {
    ExpectDispatch({
        {R"({"type":"set-fullscreen"})", {"fullscreen false"}},
        {R"({"type":"set-fullscreen","fullscreen":1})", {"fullscreen false"}},
        {R"({"type":"set-fullscreen","fullscreen":"true"})", {"fullscreen false"}},
        {R"({"type":"set-fullscreen","fullscreen":null})", {"fullscreen false"}},
        {R"({"type":"set-fullscreen","Fullscreen":true})", {"fullscreen false"}},
        {R"({"type":"set-window-size","windowWidth":"800","windowHeight":600})", {"size 0 600"}},
        {R"({"type":"set-window-size"})", {"size 0 0"}},
        {R"({"type":"set-window-size","windowWidth":true,"windowHeight":[600]})", {"size 0 0"}},
        {R"({"type":"set-window-size","windowwidth":800,"WindowHeight":600})", {"size 0 0"}},
        {R"({"type":"set-window-position","windowX":null,"windowY":{}})", {"position 0 0"}},
        {R"({"type":"set-window-position","windowY":5})", {"position 0 5"}},
    });
}

TEST(MessageProtocol, HugeAndFractionalNumbers) {
    ExpectDispatch({
        {R"({"type":"set-window-size","windowWidth":800.9,"windowHeight":600})", {"size 800 600"}},
        {R"({"type":"set-window-size","windowWidth":-800.9,"windowHeight":6e2})",
         {"size -800 600"}},
        {R"({"type":"set-window-size","windowWidth":0.5,"windowHeight":-0.5})", {"size 0 0"}},
        // Integers keep their low 32 bits.
        {R"({"type":"set-window-size","windowWidth":4294968096,"windowHeight":2147483648})",
         {"size 800 -2147483648"}},
        {R"({"type":"set-window-size","windowWidth":18446744073709551615,"windowHeight":-1})",
         {"size -1 -1"}},
        {R"({"type":"set-window-position","windowX":-4294967346,"windowY":9223372036854775807})",
         {"position -50 -1"}},
        // Floating values saturate at the 32-bit limits.
        {R"({"type":"set-window-position","windowX":1e10,"windowY":-1e10})",
         {"position 2147483647 -2147483648"}},
        {R"({"type":"set-window-position","windowX":18446744073709551616,"windowY":1e308})",
         {"position 2147483647 2147483647"}},
        {R"({"type":"set-window-position","windowX":2147483647.9,"windowY":-2147483648.9})",
         {"position 2147483647 -2147483648"}},
        // A number too large for a double is a parse error: the message is dropped.
        {R"({"type":"set-window-position","windowX":1e400,"windowY":0})", {}},
    });
}

TEST(MessageProtocol, IgnoredMessages) {
    ExpectDispatch({
        // Letter case and spelling of the type.
        {R"({"type":"Wrapper-Init"})", {}},
        {R"({"type":"SET-FULLSCREEN","fullscreen":true})", {}},
        {R"({"type":"set-window-size ","windowWidth":1,"windowHeight":1})", {}},
        {R"({"type":" wrapper-init"})", {}},
        {R"({"type":"wrapper_init"})", {}},
        {R"({"type":"set-window"})", {}},
        {R"({"type":""})", {}},
        {R"({"Type":"wrapper-init"})", {}},
        // "type" of another JSON type, or nested.
        {R"({"type":1})", {}},
        {R"({"type":null})", {}},
        {R"({"type":["wrapper-init"]})", {}},
        {R"({"type":{"type":"wrapper-init"}})", {}},
        {R"({"data":{"type":"wrapper-init"}})", {}},
        {R"({})", {}},
        // Not objects.
        {R"("wrapper-init")", {}},
        {R"(["wrapper-init"])", {}},
        {R"([{"type":"wrapper-init"}])", {}},
        {"null", {}},
        {"42", {}},
        {"true", {}},
        // Malformed JSON of each kind.
        {"", {}},
        {"   ", {}},
        {R"({"type":"wrapper-init",})", {}},
        {R"({"type":"wrapper-init"} // hello)", {}},
        {R"(/* c */ {"type":"wrapper-init"})", {}},
        {R"({"type":"wrapper-init"}{"type":"wrapper-init"})", {}},
        {R"({"type":"wrapper-init"} 1)", {}},
        {R"({"type":"wrapper-init")", {}},
        {R"({"type":"wrapper-init)", {}},
        {R"({'type':'wrapper-init'})", {}},
        {R"({type:"wrapper-init"})", {}},
        {R"({"type":"set-window-size","windowWidth":NaN,"windowHeight":1})", {}},
        {R"({"type":"set-window-size","windowWidth":0x10,"windowHeight":1})", {}},
        {R"({"type":"set-window-size","windowWidth":+5,"windowHeight":1})", {}},
        {R"({"type":"set-window-size","windowWidth":05,"windowHeight":1})", {}},
        {"{\"type\":\"extension-message\",\"x\":\"\xFF\"}", {}},  // invalid UTF-8
        {"\xEF\xBB\xBF{\"type\":\"wrapper-init\"}", {"init"}},    // the parser skips a BOM
    });
}

TEST(MessageProtocol, DuplicateMembersTakeTheLastValue) {
    ExpectDispatch({
        {R"({"type":"set-fullscreen","type":"wrapper-init"})", {"init"}},
        {R"({"type":"set-fullscreen","fullscreen":true,"fullscreen":false})", {"fullscreen false"}},
    });
}

TEST(MessageProtocol, ExceptionsFromActionsStayInside) {
    RecordingActions actions;
    actions.throwOnInit = true;
    EXPECT_NO_THROW(DispatchWebMessage(R"({"type":"wrapper-init"})", actions));
    EXPECT_EQ(actions.calls, std::vector<std::string>{"init"});

    class ThrowingAnything : public RecordingActions {
        void SetFullscreen(bool) override { throw 42; }
    } odd;
    EXPECT_NO_THROW(DispatchWebMessage(R"({"type":"set-fullscreen"})", odd));
}

TEST(MessageProtocol, HostMessages) {
    EXPECT_EQ(BuildWrapperInitResponse({}),
              R"({"registeredComponentIds":[],"type":"wrapper-init-response"})");
    EXPECT_EQ(BuildWrapperInitResponse({"a", "b"}),
              R"({"registeredComponentIds":["a","b"],"type":"wrapper-init-response"})");
    // Order kept, raw UTF-8, only the escapes JSON requires.
    EXPECT_EQ(BuildWrapperInitResponse({"z", "\xC3\xA9t\xC3\xA9", "q\"\\\n\x01", "z"}),
              "{\"registeredComponentIds\":[\"z\",\"\xC3\xA9t\xC3\xA9\",\"q\\\"\\\\\\n\\u0001\","
              "\"z\"],\"type\":\"wrapper-init-response\"}");
    EXPECT_THROW(BuildWrapperInitResponse({"ok", "bad\xFF"}), nlohmann::json::type_error);
    EXPECT_THROW(BuildWrapperInitResponse({"\xC3"}), nlohmann::json::type_error);
    EXPECT_EQ(DirectoryHandlesMessage(), R"({"type":"directory-handles"})");
}

TEST(DirectoryFolders, TableOrderTagsAndPaths) {
    const std::vector<std::string> tags = {"<app>",
                                           "<web-resource>",
                                           "<current-app-data>",
                                           "<local-app-data>",
                                           "<roaming-app-data>",
                                           "<desktop>",
                                           "<documents>",
                                           "<downloads>",
                                           "<pictures>",
                                           "<profile>",
                                           "<saved-games>",
                                           "<screenshots>",
                                           "<videos>"};
    const std::map<KnownFolderId, std::string> known = {
        {KnownFolderId::LocalAppData, "C:\\L"}, {KnownFolderId::RoamingAppData, "C:\\R"},
        {KnownFolderId::Desktop, "C:\\Desk"},   {KnownFolderId::Documents, "C:\\Doc"},
        {KnownFolderId::Downloads, "C:\\Down"}, {KnownFolderId::Pictures, "C:\\Pic"},
        {KnownFolderId::Profile, "C:\\U"},      {KnownFolderId::SavedGames, "C:\\SG"},
        {KnownFolderId::Videos, "C:\\V"}};  // no Screenshots folder
    const auto lookup = [&](KnownFolderId id) {
        const auto it = known.find(id);
        return it == known.end() ? std::string() : it->second;
    };
    const HostFolders folders{"C:\\app\\", "www\\", "C:\\L\\game"};
    const std::vector<std::string> paths = {
        "C:\\app\\", "C:\\app\\www\\", "C:\\L\\game", "C:\\L",  "C:\\R", "C:\\Desk", "C:\\Doc",
        "C:\\Down",  "C:\\Pic",        "C:\\U",       "C:\\SG", "",      "C:\\V"};

    const auto& rows = DirectoryFolders();
    ASSERT_EQ(rows.size(), 13u);
    std::set<KnownFolderId> distinct;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].index, i);
        EXPECT_EQ(rows[i].tag, tags[i]);
        EXPECT_EQ(DirectoryFolderPath(rows[i], folders, lookup), paths[i]) << tags[i];
        if (rows[i].source == FolderSource::KnownFolder) distinct.insert(rows[i].knownFolder);
    }
    EXPECT_EQ(distinct.size(), 10u);
    EXPECT_EQ(distinct.count(KnownFolderId::None), 0u);
}

}  // namespace
