// The subproject's program: decodes a JSON record, stores its fields in a new
// SQLite file (the path given as the only argument) through DBWrap, reads the
// rows back and prints them as JSON. Neither part needs the program's hooks
// of the window side, so linking qel is all it takes.
#include <cstdio>
#include <cstring>

#include "qel_db.h"
#include "qel_json.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer file.db\n");
        return 2;
    }
    const char* text = "{\"name\":\"ann\",\"pts\":3}";
    var rec;
    if (json_decode(rec, text, (int)std::strlen(text))) return 1;

    DBWrap db;
    db.open(argv[1], DBWRAP_MODE_DEFAULT);
    db.query("create table s(name text, pts integer)", var_list());
    var params = var_list();
    list_append(params, rec["name"]);
    list_append(params, rec["pts"]);
    db.query("insert into s values(?, ?)", params);
    var rows = db.query("select name, pts + 1 as next from s", var_list());
    if (db.error) return 1;
    std::printf("%s\n", json_encode(rows).c_str());
    return 0;
}
