// qel_social: one interface to a platform's social service (login,
// leaderboards, achievements, friends) and the current user.
//
// The social_* operations are platform-neutral; the driver_social_*
// functions are the platform's part. This build carries the desktop
// platform, which has no service behind it: nobody logs in, nothing is shown,
// and a leaderboard submission is confirmed at once. A change of user reaches
// the game as EVT_LOGOUT (for the previous user) and EVT_LOGIN (for the new
// one) through game_event. The state is made on first use and lives in
// `_social`. Main thread only.
#ifndef QEL_SOCIAL_H
#define QEL_SOCIAL_H

#include <string>
#include <vector>

#include "qel_var.h"

struct _SocialData {
    // {"user": {"uuid", "network", "network_id", "name"}}; keys of a user
    // who never logged in read as none.
    var data;
};

extern _SocialData* _social;

bool social_init();
void social_reset(bool full);
std::string social_user_uuid();
std::string social_user_name();
// network, uid and name may each be null: a null name is "guest", a null
// network or uid means nobody (an empty uuid).
void social_login(const char* network, const char* uid, const char* name);
void social_loop();
void social_leaderboard_submit(const char* name, double value);
// The platform's answers: printed as one line of JSON on stderr.
void social_callback(var e);
void social_deinit();
bool social_leaderboard_show(const char* name);
bool social_achievements_show();
void social_achievement_set(const char* name, double value);
void social_achievements_reset();
std::vector<std::string> social_friends_get();

// The platform's part.
void driver_social_init();
void driver_social_loop();
bool driver_social_leaderboard_show(const char* name);
bool driver_social_achievements_show();
void driver_social_leaderboard_submit(const char* name, double value);
void driver_social_deinit();
void driver_social_achievements_reset();
// Spelled so: platform layers and their callers use this name.
void driver_social_achievment_set(const char* name, double value);

#endif
