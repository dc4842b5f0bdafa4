// DBWrap over real SQLite files in a temporary directory: rows as dicts of
// text, bound parameters, the failure messages byte for byte, and the
// connection's life across open, close and destruction.
#include <string>

#include <gtest/gtest.h>

#include "capture.h"
#include "qel_db.h"
#include "tempdir.h"

namespace {

var list_of(std::initializer_list<var> items) {
    var l = var_list();
    for (const var& v : items) list_append(l, v);
    return l;
}

// Rows as "k=v,k=v;k=v": keys in the dict's order, which is byte order.
std::string dump(var rows) {
    std::string s;
    for (int i = 0; i < rows.__len__(); i++) {
        if (i) s += ";";
        var it(rows[i].__iter__());
        var k, v;
        bool first = true;
        while (it.__pair__(k, v)) {
            if (!first) s += ",";
            first = false;
            s += k.__str__() + "=" + v.__str__();
        }
    }
    return s;
}

// A wrapper opened on a new file in its own directory, the open line swallowed.
struct Db {
    TempDir dir;
    DBWrap db;
    std::string path = dir.file("test.db");
    Db() {
        capture_stderr([&] { db.open(path.c_str(), DBWRAP_MODE_DEFAULT); });
    }
    var q(const char* sql, var params = var_list()) { return db.query(sql, params); }
};

// Whether a second connection can write to the file at once: false while
// another connection holds a write transaction on it.
bool writable_by_another(const std::string& path) {
    sqlite3* other = nullptr;
    sqlite3_open(path.c_str(), &other);
    int rc = sqlite3_exec(other, "insert into t values(99)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    return rc == SQLITE_OK;
}

}  // namespace

TEST(DBWrap, NewWrapperIsClosed) {
    DBWrap db;
    EXPECT_EQ(db._db, nullptr);
    EXPECT_EQ(db.error, 0);
    EXPECT_EQ(db.errmsg, "");
}

TEST(DBWrap, CreatesInsertsWithParametersAndSelectsRows) {
    TempDir dir;
    std::string path = dir.file("scores.db");
    DBWrap db;
    std::string err = capture_stderr([&] { db.open(path.c_str(), DBWRAP_MODE_DEFAULT); });
    EXPECT_EQ(err, "opening " + path + " in READWRITE/CREATE mode\n");
    ASSERT_NE(db._db, nullptr);
    EXPECT_TRUE(path_exists(path));

    db.query("create table s(name text, pts integer, ratio real)", var_list());
    EXPECT_EQ(db.error, 0);
    // Parameters bind in list order as their text; SQLite's column affinity
    // then turns the text into numbers.
    db.query("insert into s values(?, ?, ?)", list_of({"ann", 3, 2.5}));
    db.query("insert into s values(?2, ?1, ?3)", list_of({7, "bob", var()}));
    EXPECT_EQ(db.error, 0);
    var rows = db.query("select * from s where pts > ? order by name", list_of({0}));
    EXPECT_EQ(db.error, 0);
    ASSERT_EQ(rows.__type__(), VAR_LIST);
    EXPECT_EQ(dump(rows), "name=ann,pts=3,ratio=2.5;name=bob,pts=7,ratio=");
    EXPECT_EQ(rows[0]["pts"].__type__(), VAR_STRING);
    db.close();
    EXPECT_EQ(db._db, nullptr);

    // The rows were written to the file: a read-only wrapper sees them and
    // cannot change them.
    DBWrap ro;
    err = capture_stderr([&] { ro.open(path.c_str(), DBWRAP_MODE_READONLY); });
    EXPECT_EQ(err, "opening " + path + " in READONLY mode\n");
    EXPECT_EQ(dump(ro.query("select name from s order by name", var_list())), "name=ann;name=bob");
    err = capture_stderr([&] { ro.query("delete from s", var_list()); });
    EXPECT_EQ(ro.error, 1);
    EXPECT_EQ(ro.errmsg, "sqlite3:step [8] attempt to write a readonly database; sql=delete from s");
    EXPECT_EQ(err, ro.errmsg + "\n");
}

TEST(DBWrap, ColumnsReadAsText) {
    Db d;
    const struct {
        const char* sql;
        std::string rows;
    } cases[] = {
        {"select 1 as a, null as b", "a=1,b="},
        {"select 42 as i, 1.5 as r, -0.25 as n, 'x' as s, x'' as e", "e=,i=42,n=-0.25,r=1.5,s=x"},
        {"select 1 as a, 2 as a", "a=2"},  // a later column of the same name wins
        {"select 1 as a; select 2 as a", "a=1"},  // only the first statement runs
        {"select 1 as a where 0", ""},
        {"values(1),(2),(3)", "column1=1;column1=2;column1=3"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(dump(d.q(c.sql)), c.rows) << c.sql;
        EXPECT_EQ(d.db.error, 0) << c.sql;
    }
    // Parameters are always text, whatever their var type.
    EXPECT_EQ(dump(d.q("select ?1 as a, ?2 as b, typeof(?1) as t, ?3 as c, ?4 as d", list_of({3, 2.5, true, var()}))),
              "a=3,b=2.5,c=True,d=,t=text");
}

// A number bound to a REAL column is stored as its own double and reads back
// as a text of that double, where the number text (six decimals) and SQLite's
// text (15 digits) would lose digits; texts that keep the value stay as they
// were. The untyped column shows the text that was bound.
TEST(DBWrap, RealsKeepTheirValue) {
    Db d;
    d.q("create table t(i integer primary key, r real, x)");
    const struct {
        double v;
        const char* bound;  // the text bound
        const char* read;   // what the REAL column reads as
    } cases[] = {
        {1e-7, "1e-07", "1.0e-07"},
        {3.141592653589793, "3.141592653589793", "3.141592653589793"},
        {0.30000000000000004, "0.30000000000000004", "0.30000000000000004"},
        {2.5, "2.5", "2.5"},
        {10, "10", "10.0"},
        {0.1, "0.1", "0.1"},
        {-3, "-3", "-3.0"},
        {1.0 / 3, "0.3333333333333333", "0.3333333333333333"},
        {9007199254740992.0, "9007199254740992.0", "9007199254740992"},
    };
    int n = 0;
    for (auto& c : cases) d.q("insert into t values(?, ?, ?)", list_of({n++, c.v, c.v}));
    ASSERT_EQ(d.db.error, 0);
    var rows = d.q("select r, x, typeof(r) as tr from t order by i");
    ASSERT_EQ(rows.__len__(), n);

    // The doubles in the file, through SQLite itself.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(d.path.c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "select r from t order by i", -1, &st, nullptr), SQLITE_OK);
    for (int i = 0; i < n; i++) {
        const auto& c = cases[i];
        EXPECT_EQ(rows[i]["x"].__str__(), c.bound) << c.bound;
        EXPECT_EQ(rows[i]["tr"].__str__(), "real") << c.bound;
        EXPECT_EQ(rows[i]["r"].__str__(), c.read) << c.bound;
        EXPECT_EQ(rows[i]["r"].__num__(), c.v) << c.bound;
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_double(st, 0), c.v) << c.bound;
    }
    sqlite3_finalize(st);
    sqlite3_close(raw);

    // A REAL worked out in SQL reads as its value too; text and integers as
    // SQLite gives them.
    EXPECT_EQ(dump(d.q("select 0.1 + 0.2 as a, '0.1000' as b, 1e308 * 10 as c, -1e308 * 10 as e, 7 as f")),
              "a=0.30000000000000004,b=0.1000,c=Inf,e=-Inf,f=7");
}

TEST(DBWrap, BlobReadsAsItsBytes) {
    Db d;
    d.q("create table b(v blob)");
    d.q("insert into b values(x'00ff0041'), (null), (zeroblob(3))");
    var rows = d.q("select v from b order by rowid");
    ASSERT_EQ(rows.__len__(), 3);
    EXPECT_EQ(rows[0]["v"].__str__(), std::string("\x00\xff\x00\x41", 4));
    EXPECT_EQ(rows[1]["v"].__str__(), "");
    EXPECT_EQ(rows[2]["v"].__str__(), std::string(3, '\0'));
}

TEST(DBWrap, OnlyTheFirstStatementRuns) {
    Db d;
    d.q("create table t(x)");
    d.q("insert into t values(1); insert into t values(2)");
    EXPECT_EQ(dump(d.q("select count(*) as n from t")), "n=1");
}

TEST(DBWrap, FailuresKeepAndPrintTheirMessage) {
    Db d;
    d.q("create table t(id integer primary key)");
    d.q("insert into t values(1)");
    const struct {
        const char* sql;
        var params;
        std::string msg;
    } cases[] = {
        {"selec 1", var_list(), "sqlite3:prepare [1] near \"selec\": syntax error; sql=selec 1\n"},
        {"select * from nowhere", var_list(), "sqlite3:prepare [1] no such table: nowhere; sql=select * from nowhere\n"},
        {"select ?1", list_of({1, 2}), "sqlite3:bind [25] column index out of range; sql=select ?1\n"},
        {"insert into t values(?)", list_of({1}), "sqlite3:step [19] UNIQUE constraint failed: t.id; sql=insert into t values(?)"},
        {"commit", var_list(), "sqlite3:step [1] cannot commit - no transaction is active; sql=commit"},
    };
    for (auto& c : cases) {
        var rows;
        std::string err = capture_stderr([&] { rows = d.db.query(c.sql, c.params); });
        EXPECT_EQ(d.db.error, 1) << c.sql;
        EXPECT_EQ(d.db.errmsg, c.msg) << c.sql;
        EXPECT_EQ(err, c.msg + "\n") << c.sql;
        EXPECT_EQ(rows.__len__(), 0) << c.sql;
        // The next query that runs clears the flag, not the message.
        d.q("select 1");
        EXPECT_EQ(d.db.error, 0);
        EXPECT_EQ(d.db.errmsg, c.msg);
    }
}

TEST(DBWrap, StepFailureKeepsTheRowsReadBeforeIt) {
    Db d;
    d.q("create table t(x integer)");
    d.q("insert into t values(1), (2), (3), (4)");
    // abs() of the smallest integer overflows on the third row only (the
    // table is read in rowid order, with no sort that would read it whole first).
    const char* sql = "select case when x = 3 then abs(-9223372036854775807 - 1) else x end as v from t";
    var rows;
    std::string err = capture_stderr([&] { rows = d.q(sql); });
    EXPECT_EQ(dump(rows), "v=1;v=2");
    EXPECT_EQ(d.db.error, 1);
    EXPECT_EQ(d.db.errmsg, std::string("sqlite3:step [1] integer overflow; sql=") + sql);
    EXPECT_EQ(err, d.db.errmsg + "\n");
}

TEST(DBWrap, LongMessageIsCutKeepingItsLineEnd) {
    Db d;
    std::string sql = "selec " + std::string(3000, 'x');
    capture_stderr([&] { d.q(sql.c_str()); });
    EXPECT_EQ(d.db.errmsg.size(), 1023u);
    EXPECT_EQ(d.db.errmsg.back(), '\n');
    EXPECT_EQ(d.db.errmsg.compare(0, 40, "sqlite3:prepare [1] near \"selec\": syntax"), 0);
}

TEST(DBWrap, EmptyOrCommentOnlyStatementSucceedsWithoutRows) {
    Db d;
    for (const char* sql : {"", "   ", "-- nothing here", "/* nor here */", ";"}) {
        capture_stderr([&] { d.q("selec"); });
        ASSERT_EQ(d.db.error, 1);
        std::string err = capture_stderr([&] { EXPECT_EQ(d.q(sql).__len__(), 0) << sql; });
        EXPECT_EQ(d.db.error, 0) << "'" << sql << "'";
        EXPECT_EQ(err, "") << sql;
    }
}

TEST(DBWrap, QueryOnClosedWrapperFails) {
    DBWrap db;
    const std::string msg = "sqlite3:query [21] no open database; sql=select 1\n";
    std::string err = capture_stderr([&] { EXPECT_EQ(db.query("select 1", var_list()).__len__(), 0); });
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg, msg);
    EXPECT_EQ(err, msg + "\n");

    Db d;
    d.q("select 1");
    d.db.close();
    d.db.close();  // closing twice is harmless
    capture_stderr([&] { d.q("select 1"); });
    EXPECT_EQ(d.db.error, 1);
    EXPECT_EQ(d.db.errmsg, msg);
}

TEST(DBWrap, FailedOpenLeavesTheWrapperClosed) {
    TempDir dir;
    std::string missing = dir.file("missing.db");
    DBWrap db;
    db.error = 1;
    std::string err = capture_stderr([&] { db.open(missing.c_str(), DBWRAP_MODE_READONLY); });
    EXPECT_EQ(err, "opening " + missing + " in READONLY mode\nCan't open database: unable to open database file\n");
    EXPECT_EQ(db._db, nullptr);
    EXPECT_EQ(db.error, 1);  // open does not touch the flag
    EXPECT_FALSE(path_exists(missing));

    // A directory cannot be opened for writing either; an unknown mode opens
    // nothing and says nothing.
    err = capture_stderr([&] { db.open(dir.path().c_str(), DBWRAP_MODE_DEFAULT); });
    EXPECT_EQ(err, "opening " + dir.path() + " in READWRITE/CREATE mode\nCan't open database: unable to open database file\n");
    EXPECT_EQ(db._db, nullptr);
    err = capture_stderr([&] { db.open(dir.file("other.db").c_str(), 7); });
    EXPECT_EQ(err, "");
    EXPECT_EQ(db._db, nullptr);
    EXPECT_FALSE(path_exists(dir.file("other.db")));
}

TEST(DBWrap, TransactionsAreReportedPerQuery) {
    Db d;
    d.q("create table t(x)");
    d.db.begin();
    EXPECT_EQ(d.db.error, 0);
    d.q("insert into t values(1)");
    EXPECT_FALSE(writable_by_another(d.path));
    d.db.commit();
    EXPECT_EQ(d.db.error, 0);
    EXPECT_TRUE(writable_by_another(d.path));
    EXPECT_EQ(dump(d.q("select x from t order by x")), "x=1;x=99");
    capture_stderr([&] { d.db.commit(); });
    EXPECT_EQ(d.db.error, 1);
}

TEST(DBWrap, ALockHeldByAnotherConnectionFailsAtOnceAndARetryRuns) {
    // No busy time-out: the query does not wait for the lock, the caller
    // tries again once the other connection is done.
    Db d;
    DBWrap other;
    capture_stderr([&] { other.open(d.path.c_str(), DBWRAP_MODE_DEFAULT); });
    d.q("create table t(x)");
    d.db.begin();
    d.q("insert into t values(1)");
    EXPECT_EQ(other.query("select x from t", var_list()).__len__(), 0);  // reads go on
    EXPECT_EQ(other.error, 0);
    std::string err = capture_stderr([&] { other.query("insert into t values(2)", var_list()); });
    EXPECT_EQ(other.error, 1);
    EXPECT_EQ(other.errmsg, "sqlite3:step [5] database is locked; sql=insert into t values(2)");
    EXPECT_EQ(err, other.errmsg + "\n");
    d.db.commit();
    other.query("insert into t values(2)", var_list());
    EXPECT_EQ(other.error, 0);

    // An exclusive lock stops reads too.
    d.q("begin exclusive");
    capture_stderr([&] { other.query("select x from t", var_list()); });
    EXPECT_EQ(other.errmsg, "sqlite3:step [5] database is locked; sql=select x from t");
    d.db.commit();
    EXPECT_EQ(dump(other.query("select x from t order by x", var_list())), "x=1;x=2");
}

TEST(DBWrap, ReopeningAndDestructionCloseTheConnection) {
    // A write transaction left open holds the file's lock until its
    // connection closes.
    TempDir dir;
    std::string first = dir.file("first.db"), second = dir.file("second.db");
    {
        DBWrap db;
        capture_stderr([&] { db.open(first.c_str(), DBWRAP_MODE_DEFAULT); });
        db.query("create table t(x)", var_list());
        db.begin();
        db.query("insert into t values(1)", var_list());
        ASSERT_FALSE(writable_by_another(first));
        capture_stderr([&] { db.open(second.c_str(), DBWRAP_MODE_DEFAULT); });
        EXPECT_TRUE(writable_by_another(first));

        db.query("create table t(x)", var_list());
        db.begin();
        db.query("insert into t values(1)", var_list());
        ASSERT_FALSE(writable_by_another(second));
    }
    EXPECT_TRUE(writable_by_another(second));
}
