#!/usr/bin/perl
# SPDX-License-Identifier: GPL-3.0-or-later
# Lists the includes that cross the layers of the libraries (docs/DESIGN.md); exits 1 if any.
#   src/setup: Qt Core and itself only
#   src/link:  not app, forms, files or report
#   src/forms: not app, link, files or report
#   src/app/core: of Qt, Qt Core and Qt Gui (QUndoStack), never Qt Widgets
# Usage: includes.pl SRC_DIR QTCORE_INCLUDE_DIR
use strict;
use warnings;
use File::Basename;
use File::Find;
use Cwd qw(abs_path);

my ($src, $qtcore) = @ARGV;
die "usage: $0 SRC_DIR QTCORE_INCLUDE_DIR\n" unless $src && $qtcore && -d $src && -d $qtcore;
$src = abs_path($src);

# A path below src/ as written from src/; one elsewhere starts with "../".
sub belowSrc {
    my ($path) = @_;
    return index($path, "$src/") == 0 ? substr($path, length($src) + 1) : "../$path";
}

my %forbidden = (
    'link'  => [qw(app forms files report)],
    'forms' => [qw(app link files report)],
);

# The folder under src/ that a quoted include names, written from the including file's folder or from src/.
sub layerOf {
    my ($file, $included) = @_;
    for my $base (dirname($file), $src) {
        next unless -e "$base/$included";
        my $relative = belowSrc(abs_path("$base/$included"));
        return $relative =~ m{^\.\.} ? 'outside' : (split m{/}, $relative)[0] . ($relative =~ m{^app/core/} ? '/core' : '');
    }
    return 'missing';
}

my $found = 0;
sub complain {
    my ($file, $line, $what) = @_;
    print belowSrc($file), ":$line: $what\n";
    $found = 1;
}

find(sub {
    return unless /\.(cpp|h)$/;
    my $file = $File::Find::name;
    my $relative = belowSrc($file);
    my $layer = (split m{/}, $relative)[0];
    $layer .= '/core' if $relative =~ m{^app/core/};
    open(my $in, '<', $_) or die "$file: $!";
    while (my $text = <$in>) {
        if ($text =~ /^\s*#\s*include\s+"([^"]+)"/) {
            my $target = layerOf($file, $1);
            if ($layer eq 'setup' && $target ne 'setup') {
                complain($file, $., "src/setup includes only Qt Core and itself, not \"$1\"");
            } elsif (grep { $target =~ m{^$_(/|$)} } @{$forbidden{$layer} || []}) {
                complain($file, $., "src/$layer may not include \"$1\" (src/$target)");
            }
        } elsif ($text =~ /^\s*#\s*include\s+<(Q[A-Za-z]+)>/) {
            my $header = $1;
            if ($layer eq 'setup' && !-e "$qtcore/$header") {
                complain($file, $., "src/setup uses Qt Core alone, not <$header>");
            } elsif ($layer eq 'app/core' && !-e "$qtcore/$header" && !-e "$qtcore/../QtGui/$header") {
                complain($file, $., "src/app/core uses Qt Core and Qt Gui alone, not <$header>");
            }
        }
    }
    close($in);
}, $src);
exit $found;
