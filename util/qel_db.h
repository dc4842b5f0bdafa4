// qel_db: one SQLite connection wrapped so that a game can run SQL with
// positional parameters taken from a var list and get every row back as a
// dict keyed by column name.
//
// All values cross as text: parameters bind as their text form, a column
// reads as SQLite's text of it ("" for NULL, a BLOB as its bytes). Numbers
// keep their value both ways: one whose text form would change it binds as
// the shortest text that does not, and a REAL whose SQLite text (15 digits)
// is not its value reads as that shortest text instead. Failures
// never throw: `error` is 1 after a query that failed and 0 after one that
// ran, `errmsg` keeps the message of the last failure, and each failure
// prints one line on stderr.
//
//     DBWrap db;
//     db.open("scores.db", DBWRAP_MODE_DEFAULT);
//     db.query("insert into s(name, pts) values(?, ?)", var_list(...));
//     var rows = db.query("select * from s", var_list());
#ifndef QEL_DB_H
#define QEL_DB_H

#include <sqlite3.h>
#include <string>

#include "qel_var.h"

enum {
    DBWRAP_MODE_DEFAULT = 0,   // read-write, the file created when missing
    DBWRAP_MODE_READONLY = 1,
};

class DBWrap {
public:
    sqlite3* _db;        // the open connection; null when closed
    int error;           // 1 when the last query, begin or commit failed, else 0
    std::string errmsg;  // the message of the last failure, kept until the next

    DBWrap();
    virtual ~DBWrap();  // closes the connection
    DBWrap(const DBWrap&) = delete;
    DBWrap& operator=(const DBWrap&) = delete;

    // Closes any open connection first; a failed open leaves the wrapper closed.
    void open(const char* fname, int mode);
    // Runs the first statement of sql with params (a list; none for no
    // parameters) bound to ?1, ?2, ... and returns the rows read, also the
    // ones read before a failure.
    var query(const char* sql, var params);
    void begin();
    void commit();
    void close();
};

#endif
