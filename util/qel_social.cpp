// qel_social: the current user and the forwarding to the platform, then the
// desktop platform itself.
#include "qel_social.h"

#include <cstdio>

#include "qel_event.h"
#include "qel_json.h"

_SocialData* _social = nullptr;

// Texts from callers may be null; they print and store as "".
static const char* _social_text(const char* s) { return s ? s : ""; }

bool social_init() {
    if (_social) return true;
    // Set before the reset and the platform's start, which come back here.
    _social = new _SocialData();
    social_reset(true);
    driver_social_init();
    return true;
}

void social_reset(bool full) {
    social_init();
    var& data = _social->data;
    if (full) data = var();
    if (data.__type__() != VAR_DICT) data = var_dict();
    if (data["user"].__type__() != VAR_DICT) data["user"] = var_dict();
}

// The text form of a key of the user, "" while it holds none.
static std::string _social_user_text(const char* key) {
    social_init();
    var v = _social->data["user"][key];
    return v.__type__() == VAR_NONE ? std::string() : v.__str__();
}

std::string social_user_uuid() { return _social_user_text("uuid"); }
std::string social_user_name() { return _social_user_text("name"); }

void social_login(const char* network, const char* uid, const char* name) {
    if (!name) name = "guest";
    std::string uuid;
    if (network && uid) uuid = std::string(network) + ":" + uid;
    std::string old = social_user_uuid();
    if (uuid == old) return;
    if (!old.empty()) {
        fprintf(stderr, "social_login: logout: %s\n", old.c_str());
        // Before the reset: the game's handler still reads the old user.
        game_event(Event(EVT_LOGOUT));
    }
    social_reset(true);
    var user = _social->data["user"];
    user["uuid"] = var(uuid);
    user["network"] = var(_social_text(network));
    user["network_id"] = var(_social_text(uid));
    user["name"] = var(name);
    fprintf(stderr, "social_login name: %s uid: %s uuid: %s\n", name, _social_text(uid), uuid.c_str());
    game_event(Event(EVT_LOGIN));
}

void social_loop() { driver_social_loop(); }

void social_leaderboard_submit(const char* name, double value) {
    social_init();
    fprintf(stderr, "submit: %s %f\n", _social_text(name), value);
    driver_social_leaderboard_submit(name, value);
}

void social_callback(var e) {
    social_init();
    fprintf(stderr, "social_callback: %s\n", json_encode(e).c_str());
}

void social_deinit() {
    social_init();
    // Also when nobody was logged in: the game learns that the layer ends.
    game_event(Event(EVT_LOGOUT));
    delete _social;
    _social = nullptr;
    driver_social_deinit();
}

bool social_leaderboard_show(const char* name) { return driver_social_leaderboard_show(name); }
bool social_achievements_show() { return driver_social_achievements_show(); }

void social_achievement_set(const char* name, double value) {
    social_init();
    driver_social_achievment_set(name, value);
}

void social_achievements_reset() { driver_social_achievements_reset(); }

std::vector<std::string> social_friends_get() { return std::vector<std::string>(); }

// The desktop platform: no service, nobody logged in, nothing shown.

void driver_social_init() { social_login(nullptr, nullptr, nullptr); }
void driver_social_loop() {}
bool driver_social_leaderboard_show(const char*) { return true; }
bool driver_social_achievements_show() { return true; }

// Confirmed at once; the score itself goes nowhere.
void driver_social_leaderboard_submit(const char* name, double) {
    var e = var_dict();
    e["type"] = var("leaderboard_confirm");
    e["name"] = var(_social_text(name));
    social_callback(e);
}

void driver_social_deinit() {}
void driver_social_achievements_reset() {}
void driver_social_achievment_set(const char*, double) {}
