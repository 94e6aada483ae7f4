#!/usr/bin/perl
# A small uploader CGI for the tests and the demo board. It takes the form
# fields upfile, pass, comment, jcode and, when the uploader is keyed, an
# upload key field "postkey" (its name in any letter case), stores the file
# under ../store as upNNNN.<ext> and answers with the page an uploader of
# this kind gives: the centred block with the file's link on success, an
# error page without it otherwise. Every answer also lists what was parsed
# (fields in order, the file's name, size and SHA-256) so that tests can see
# what arrived; ../uploads.log collects the same for every request.
#
# Settings come from ../uploader.conf, lines "name=value":
#   postkey=KEY      the upload key ("" or missing: none asked for)
#   maxbytes=N       the largest file taken (default 4 MiB)
use strict;
use warnings;
use CGI;
use Digest::SHA;
use File::Basename qw(dirname);

my $here = dirname($0);
my $store = "$here/../store";
my %conf = (postkey => '', maxbytes => 4 * 1024 * 1024);
if (open(my $in, '<', "$here/../uploader.conf")) {
    while (my $line = <$in>) {
        $line =~ s/\r?\n$//;
        $conf{$1} = $2 if $line =~ /^(\w+)=(.*)$/;
    }
    close $in;
}

sub escape {
    my ($text) = @_;
    $text = '' unless defined $text;
    $text =~ s/&/&amp;/g;
    $text =~ s/</&lt;/g;
    $text =~ s/>/&gt;/g;
    return $text;
}

sub answer {
    my ($body, $parsed) = @_;
    # Every answer's parsed part is also kept in ../uploads.log, one
    # request after another, each closed by a line "--".
    if (open(my $log, '>>', "$here/../uploads.log")) {
        binmode $log;
        print {$log} ($parsed // ''), "--\n";
        close $log;
    }
    binmode STDOUT;
    print "Content-Type: text/html; charset=Shift_JIS\r\n\r\n";
    print "<html><head><title>uploader</title></head><body>\n";
    print $body;
    print "<pre id=\"parsed\">\n", $parsed, "</pre>\n" if defined $parsed;
    print "</body></html>\n";
    exit 0;
}

sub refuse {
    my ($reason, $parsed) = @_;
    answer("<h1>ERROR</h1>\n<p class=\"reason\">" . escape($reason) . "</p>\n", $parsed);
}

# A body larger than any file we take is refused before it is read.
my $length = $ENV{CONTENT_LENGTH} || 0;
refuse("file too large") if $length > $conf{maxbytes} + 65536;

$CGI::POST_MAX = -1;
my $q = eval { CGI->new };
refuse("malformed request: " . ($@ || 'no form')) unless $q;
my $error = $q->cgi_error;
refuse("malformed request: $error") if $error;

my $parsed = '';
my $key;
for my $name ($q->param) {
    next if $name eq 'upfile';
    my $value = $q->param($name);
    $parsed .= 'field ' . escape($name) . '=' . escape($value) . "\n";
    $key = $value if lc($name) eq 'postkey';
}

if ($conf{postkey} ne '' && (!defined $key || $key ne $conf{postkey})) {
    refuse("wrong upload key", $parsed);
}

my $handle = $q->upload('upfile');
refuse("no file", $parsed) unless $handle;
my $filename = '' . $q->param('upfile');
binmode $handle;
my $bytes = do { local $/; <$handle> };
$bytes = '' unless defined $bytes;
my $sha = Digest::SHA::sha256_hex($bytes);
$parsed .= 'file upfile=' . escape($filename) . ' size=' . length($bytes) . " sha256=$sha\n";
refuse("file too large", $parsed) if length($bytes) > $conf{maxbytes};

my ($ext) = $filename =~ /\.(\w{1,8})$/;
$ext = 'bin' unless defined $ext;
mkdir $store unless -d $store;
my $number = 1;
# (glob in list context: in scalar context it iterates over its first pattern)
$number++ while my @taken = glob("$store/up" . sprintf('%04d', $number) . '.*');
my $stored = 'up' . sprintf('%04d', $number) . ".$ext";
open(my $out, '>', "$store/$stored") or refuse("cannot store the file", $parsed);
binmode $out;
print $out $bytes;
close $out;
$parsed .= "stored $stored\n";

answer("<br><br><div align=center><font size=4>" . escape($filename) .
       " was uploaded.<br><a href=\"../store/$stored\">click here!</a></font><br></div>\n",
       $parsed);
