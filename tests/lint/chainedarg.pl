#!/usr/bin/perl
# SPDX-License-Identifier: GPL-3.0-or-later
# Lists chained QString::arg() calls in the C++ sources under the given folders; exits 1 if any.
# In "%1 %2".arg(a).arg(b) the second call also fills placeholders that a's text brought in
# (a file named "a%2.kxm"), so values go in at once: .arg(a, b), numbers via QString::number.
use strict;
use warnings;
use File::Find;

my $found = 0;
find(sub {
    return unless /\.(cpp|h)$/;
    open(my $in, '<', $_) or die "$File::Find::name: $!";
    my $source = do { local $/; <$in> };
    while ($source =~ /\.arg(\((?:[^()]++|(?1))*\))\s*\.arg\(/g) {
        my $line = 1 + (substr($source, 0, $-[0]) =~ tr/\n//);
        print "$File::Find::name:$line: chained .arg(); substitute all values in one .arg()\n";
        $found = 1;
    }
}, @ARGV);
exit $found;
