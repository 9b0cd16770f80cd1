#!/usr/bin/perl
# Prints every tag of an .mdx as read by XBase::Index: one line per tag,
# "NAME<TAB>recno recno ..." in the tag's order. NAME stops at the first NUL
# (XBase::Index keeps the leftover bytes of older names after it).
use strict;
use XBase::Index;
my $file = shift or die "usage: mdx_walk.pl file.mdx\n";
my $index = XBase::Index->new($file) or die XBase::Index->errstr;
for my $tag ($index->tags) {
  my $i = XBase::Index->new($file, tag => $tag) or die XBase::Index->errstr;
  $i->prepare_select;
  my @recs;
  while (my ($key, $rec) = $i->fetch) { push @recs, $rec }
  (my $name = $tag) =~ s/\0.*//s;
  print "$name\t@recs\n";
}
