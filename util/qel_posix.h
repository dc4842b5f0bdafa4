// qel_posix: our Linux layer for the interfaces the engine knows only from
// Windows: the per-user data base directory, directory creation and opening
// a URL in the user's browser.
#ifndef QEL_POSIX_H
#define QEL_POSIX_H

#include <string>

// Base of the documents directory: $APPDATA when set, else $XDG_DATA_HOME,
// else $HOME/.local/share, else ".". Empty variables count as unset.
std::string posix_docs_base();

// Creates the directory and every missing parent; existing ones are fine.
void posix_mkdirs(const char* path);

// Starts the opener ($QEL_URL_OPENER, else xdg-open) with the URL as its one
// argument, without a shell, and returns at once; a thread of its own reaps
// the child, so SIGCHLD stays as the process has it.
void posix_open_url(const char* url);

#endif
