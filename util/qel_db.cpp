// qel_db: prepare, bind, step and finalize of one statement per query.
#include "qel_db.h"

#include <cstdio>
#include <utility>

DBWrap::DBWrap() : _db(nullptr), error(0) {}

DBWrap::~DBWrap() { close(); }

void DBWrap::open(const char* fname, int mode) {
    close();
    int rc;
    if (mode == DBWRAP_MODE_READONLY) {
        rc = sqlite3_open_v2(fname, &_db, SQLITE_OPEN_READONLY, nullptr);
        fprintf(stderr, "opening %s in READONLY mode\n", fname);
    } else if (mode == DBWRAP_MODE_DEFAULT) {
        rc = sqlite3_open(fname, &_db);
        fprintf(stderr, "opening %s in READWRITE/CREATE mode\n", fname);
    } else {
        return;
    }
    if (rc != SQLITE_OK) {
        fprintf(stderr, "Can't open database: %s\n", sqlite3_errmsg(_db));
        sqlite3_close(_db);
        _db = nullptr;
    }
}

// Keeps and prints the message of a failed query. Messages are formatted into
// 1024 bytes; a longer one (a long SQL text) is cut at the end of its SQL
// and keeps its line ending.
static void _db_fail(DBWrap* db, const char* what, int code, const char* msg, const char* sql, bool newline) {
    char buf[1024];
    int n = snprintf(buf, sizeof buf, "sqlite3:%s [%d] %s; sql=%s%s", what, code, msg, sql, newline ? "\n" : "");
    if (n >= (int)sizeof buf && newline) buf[sizeof buf - 2] = '\n';
    db->errmsg = buf;
    fprintf(stderr, "%s\n", buf);
}

var DBWrap::query(const char* sql, var params) {
    var rows = var_list();
    error = 1;
    if (!_db) {
        // Nothing can run: a failure, and SQLite is never handed the null handle.
        _db_fail(this, "query", SQLITE_MISUSE, "no open database", sql, true);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(_db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        _db_fail(this, "prepare", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql, true);
        sqlite3_finalize(stmt);
        return rows;
    }
    // An empty or comment-only text prepares to no statement: nothing to run.
    if (!stmt) {
        error = 0;
        return rows;
    }
    int nparams = params.__type__() == VAR_LIST ? params.__len__() : 0;
    for (int i = 0; i < nparams; i++) {
        // A number binds as a text that reads back as its value, so that a
        // REAL column stores it unchanged.
        const var& p = params[i];
        std::string text = p.__type__() == VAR_NUMBER ? var_number_exact_str(p.__num__()) : p.__str__();
        if (sqlite3_bind_text(stmt, i + 1, text.data(), (int)text.size(), SQLITE_TRANSIENT) != SQLITE_OK) {
            _db_fail(this, "bind", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql, true);
            sqlite3_finalize(stmt);
            return rows;
        }
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        var row = var_dict();
        int ncols = sqlite3_column_count(stmt);
        for (int i = 0; i < ncols; i++) {
            // The type before the text, which converts the column; the text
            // before its length, which must be of what was converted.
            bool real = sqlite3_column_type(stmt, i) == SQLITE_FLOAT;
            const char* text = (const char*)sqlite3_column_text(stmt, i);
            int len = sqlite3_column_bytes(stmt, i);
            std::string s = text ? std::string(text, (size_t)len) : std::string();
            // SQLite writes a REAL with 15 digits, which may not be its value.
            if (real) s = var_number_exact_str(sqlite3_column_double(stmt, i), s);
            row[sqlite3_column_name(stmt, i)] = var(std::move(s));
        }
        list_append(rows, row);
    }
    if (rc == SQLITE_DONE) {
        error = 0;
    } else {
        _db_fail(this, "step", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql, false);
    }
    sqlite3_finalize(stmt);
    return rows;
}

void DBWrap::begin() { query("begin", var_list()); }

void DBWrap::commit() { query("commit", var_list()); }

void DBWrap::close() {
    if (!_db) return;
    sqlite3_close(_db);
    _db = nullptr;
}
