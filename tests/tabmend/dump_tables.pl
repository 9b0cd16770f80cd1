#!/usr/bin/perl
# Every record of each .dbf named, as XBase (libdbd-xbase-perl) reads it: a
# line "== FILE", then one line per record (deletion flag, then each field's
# value, tab-separated; bytes outside printable ASCII as \xNN, undefined \N).
use strict;
use XBase;
sub esc {
  my $v = shift;
  return "\\N" unless defined $v;
  $v =~ s/([^\x20-\x5b\x5d-\x7e])/sprintf("\\x%02x", ord $1)/ge;
  return $v;
}
for my $file (@ARGV) {
  print "== $file\n";
  my $table = XBase->new($file) or do { print "unreadable: ", XBase->errstr, "\n"; next; };
  for my $i (0 .. $table->last_record) {
    my @r = $table->get_record($i);
    print(@r ? join("\t", map { esc($_) } @r) : "unreadable record $i", "\n");
  }
  $table->close;
}
