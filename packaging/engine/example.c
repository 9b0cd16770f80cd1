/*
 * A small program on the installed engine: creates a table with a production
 * index in the folder given (default: the current one), adds three patients,
 * finds one by its index tag and prints the table.
 *
 *   cc example.c $(pkg-config --cflags --libs c4dll) -o example && ./example /tmp
 */
#include <stdio.h>
#include <string.h>

#include <c4dll.h>

static int fail(C4Context c, const char *what, int code) {
  fprintf(stderr, "example: %s: %s\n", what, error4text(c, code));
  code4initUndo(c);
  return 1;
}

int main(int argc, char **argv) {
  static const C4FieldInfo fields[] = {
      {"NAME", 'C', 20, 0}, {"VISITS", 'N', 5, 0}, {"BORN", 'D', 8, 0}, {NULL, 0, 0, 0}};
  static const C4TagInfo tags[] = {{"NAME", "UPPER(NAME)", NULL, 0, 0},
                                   {NULL, NULL, NULL, 0, 0}};
  static const struct { const char *name, *born; long visits; } rows[] = {
      {"Okafor", "19610304", 12}, {"Lindqvist", "19840721", 3}, {"Abara", "19990115", 7}};
  char path[1024];
  const char *dir = argc > 1 ? argv[1] : ".";
  C4Context c = code4initP();
  C4Table t;
  C4Field name, visits, born;
  int i, r;

  if (!c) return 1;
  snprintf(path, sizeof path, "%s/patients.dbf", dir);
  t = d4create(c, path, fields, tags);
  if (!t) return fail(c, "create", code4errorCode(c, 0));
  name = d4field(t, "NAME");
  visits = d4field(t, "VISITS");
  born = d4field(t, "BORN");
  for (i = 0; i < 3; ++i) {
    d4appendStart(t, 0);
    f4assign(name, rows[i].name);
    f4assign(born, rows[i].born);
    f4assignInt(visits, rows[i].visits);
    if ((r = d4append(t)) != 0) return fail(c, "append", r);
  }
  d4close(t);

  /* Open it again, as another program would, with its production index. */
  code4autoOpen(c, 1);
  t = d4open(c, path);
  if (!t) return fail(c, "open", code4errorCode(c, 0));
  name = d4field(t, "NAME");
  visits = d4field(t, "VISITS");
  born = d4field(t, "BORN");
  printf("records %ld\n", (long)d4recCount(t));
  d4tagSelectP(t, d4tag(t, "NAME"));
  if ((r = d4seek(t, "LINDQVIST")) != 0) return fail(c, "seek", r);
  printf("found %.*s visits %ld\n", (int)strcspn(f4str(name), " "), f4str(name), f4int(visits));
  for (r = d4top(t); r == 0; r = d4skip(t, 1))
    printf("%s %s %5ld\n", f4str(name), f4str(born), f4int(visits));
  if ((r = d4check(t)) != 0) return fail(c, "check", r);
  d4close(t);
  code4initUndo(c);
  return 0;
}
