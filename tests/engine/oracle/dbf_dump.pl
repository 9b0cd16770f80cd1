#!/usr/bin/perl
# Prints every record of a .dbf as read by XBase (libdbd-xbase-perl), one line
# per record: the deletion flag, then each field's value, tab-separated.
# Bytes outside printable ASCII (and \ and tab) are written \xNN; an undefined
# value is \N.
use strict;
use XBase;
my $file = shift or die "usage: dbf_dump.pl file.dbf\n";
my $table = XBase->new($file) or die XBase->errstr;
sub esc {
  my $v = shift;
  return "\\N" unless defined $v;
  $v =~ s/([^\x20-\x5b\x5d-\x7e])/sprintf("\\x%02x", ord $1)/ge;
  return $v;
}
for my $i (0 .. $table->last_record) {
  my @r = $table->get_record($i);
  die XBase->errstr unless @r;
  print join("\t", map { esc($_) } @r), "\n";
}
