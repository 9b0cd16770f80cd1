#!/usr/bin/perl
# Independent reader for the tests: prints every tag of an .mdx in index
# order as "TAG<tab>hex key<tab>record number", using Debian's XBase::Index.
use strict;
use warnings;
use XBase::Index;

my ($file) = @ARGV;
my $index = XBase::Index->new($file) or die "cannot open $file: " . XBase::Index->errstr;
my %done;
for my $tag ($index->tags) {
  (my $name = $tag) =~ s/\0.*//s;
  next if $done{$name}++;
  my $t = XBase::Index->new($file, tag => $tag) or die "no tag $tag: " . XBase::Index->errstr;
  $t->prepare_select;
  print "$name\n";
  while (my ($key, $recno) = $t->fetch) {
    print "$name\t", unpack("H*", $key), "\t$recno\n";
  }
}
