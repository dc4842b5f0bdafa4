// The social layer on the desktop platform: the state made on first use, the
// login and logout events a game receives (through a recording game_event of
// the test's own) and the lines printed on stderr.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "qel_event.h"
#include "qel_social.h"

namespace {

// What the game saw: each event's type with the user it could read then.
struct Seen {
    int type;
    std::string uuid, name;
};
std::vector<Seen> _seen;

class Social : public ::testing::Test {
  protected:
    void SetUp() override { _seen.clear(); }
    void TearDown() override {
        // Leaves no state for the next test.
        if (_social) capture_stderr([] { social_deinit(); });
    }
    // Runs fn; what it printed on stdout and stderr together.
    static std::string printed(const std::function<void()>& fn) {
        std::string err;
        std::string out = capture_stdout([&] { err = capture_stderr(fn); });
        return out + err;
    }
};

}  // namespace

void game_event(Event e) {
    Seen s = {e.type, "", ""};
    if (_social) {
        s.uuid = social_user_uuid();
        s.name = social_user_name();
    }
    _seen.push_back(s);
}

TEST_F(Social, FirstUseMakesTheStateQuietly) {
    EXPECT_EQ(_social, nullptr);
    std::string uuid = "x";
    EXPECT_EQ(printed([&] { uuid = social_user_uuid(); }), "");
    EXPECT_EQ(uuid, "");
    EXPECT_EQ(social_user_name(), "");
    ASSERT_NE(_social, nullptr);
    EXPECT_EQ(_social->data["user"].__type__(), VAR_DICT);
    EXPECT_TRUE(_seen.empty());
    EXPECT_TRUE(social_friends_get().empty());
    EXPECT_TRUE(social_leaderboard_show("best"));
    EXPECT_TRUE(social_achievements_show());
    EXPECT_EQ(printed([] {
                  social_achievement_set("first", 1);
                  social_achievements_reset();
                  social_loop();
              }),
              "");
}

TEST_F(Social, LoginsPostTheirEventsWithTheUserOfTheirTime) {
    std::string err = printed([] { social_login("net", "7", "Ann"); });
    EXPECT_EQ(err, "social_login name: Ann uid: 7 uuid: net:7\n");
    ASSERT_EQ(_seen.size(), 1u);
    EXPECT_EQ(_seen[0].type, EVT_LOGIN);
    EXPECT_EQ(_seen[0].uuid, "net:7");
    EXPECT_EQ(social_user_name(), "Ann");
    EXPECT_EQ(_social->data["user"]["network"].__str__(), "net");
    EXPECT_EQ(_social->data["user"]["network_id"].__str__(), "7");

    // The same user again changes nothing.
    EXPECT_EQ(printed([] { social_login("net", "7", "Ann"); }), "");
    EXPECT_EQ(_seen.size(), 1u);

    // Another user: the logout is seen while the old user is still current.
    err = printed([] { social_login("net", "8", nullptr); });
    EXPECT_EQ(err, "social_login: logout: net:7\nsocial_login name: guest uid: 8 uuid: net:8\n");
    ASSERT_EQ(_seen.size(), 3u);
    EXPECT_EQ(_seen[1].type, EVT_LOGOUT);
    EXPECT_EQ(_seen[1].uuid, "net:7");
    EXPECT_EQ(_seen[1].name, "Ann");
    EXPECT_EQ(_seen[2].type, EVT_LOGIN);
    EXPECT_EQ(_seen[2].uuid, "net:8");
    EXPECT_EQ(_seen[2].name, "guest");
}

TEST_F(Social, NullOrLongTextsAreSafe) {
    // Nobody while nobody is logged in: no event.
    EXPECT_EQ(printed([] { social_login(nullptr, "7", "A"); }), "");
    EXPECT_EQ(printed([] { social_login("net", nullptr, "A"); }), "");
    EXPECT_TRUE(_seen.empty());

    // An id far past any fixed buffer stays whole.
    std::string id(300, 'i');
    printed([&] { social_login("net", id.c_str(), "A"); });
    EXPECT_EQ(social_user_uuid(), "net:" + id);

    // Logging in nobody logs the user out; an empty user follows.
    std::string err = printed([] { social_login("net", nullptr, nullptr); });
    EXPECT_EQ(err, "social_login: logout: net:" + id + "\nsocial_login name: guest uid:  uuid: \n");
    ASSERT_EQ(_seen.size(), 3u);
    EXPECT_EQ(_seen[1].type, EVT_LOGOUT);
    EXPECT_EQ(_seen[2].type, EVT_LOGIN);
    EXPECT_EQ(social_user_uuid(), "");
    EXPECT_EQ(_social->data["user"]["network_id"].__str__(), "");
}

TEST_F(Social, LeaderboardSubmissionIsConfirmedAsJson) {
    EXPECT_EQ(printed([] { social_leaderboard_submit("best", 10); }),
              "submit: best 10.000000\n"
              "social_callback: {\"name\":\"best\",\"type\":\"leaderboard_confirm\"}\n");
}

TEST_F(Social, ResetRepairsOrForgets) {
    printed([] { social_login("net", "7", "Ann"); });
    social_reset(false);
    EXPECT_EQ(social_user_uuid(), "net:7");

    _social->data["user"] = var(3);
    social_reset(false);
    EXPECT_EQ(_social->data["user"].__type__(), VAR_DICT);
    EXPECT_EQ(social_user_uuid(), "");

    _social->data = var("broken");
    social_reset(false);
    EXPECT_EQ(_social->data["user"].__type__(), VAR_DICT);

    printed([] { social_login("net", "9", "B"); });
    social_reset(true);
    EXPECT_EQ(social_user_uuid(), "");
}

TEST_F(Social, DeinitLogsOutEvenWithNobodyAndAStateComesBackLater) {
    // With no state yet it is made and removed at once.
    EXPECT_EQ(printed([] { social_deinit(); }), "");
    ASSERT_EQ(_seen.size(), 1u);
    EXPECT_EQ(_seen[0].type, EVT_LOGOUT);
    EXPECT_EQ(_social, nullptr);

    printed([] { social_login("net", "7", "Ann"); });
    printed([] { social_deinit(); });
    ASSERT_EQ(_seen.size(), 3u);
    EXPECT_EQ(_seen[2].type, EVT_LOGOUT);
    EXPECT_EQ(_seen[2].uuid, "net:7");
    EXPECT_EQ(_social, nullptr);

    EXPECT_EQ(social_user_uuid(), "");
    EXPECT_NE(_social, nullptr);
}
