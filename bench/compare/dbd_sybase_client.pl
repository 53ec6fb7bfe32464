#!/usr/bin/perl
# Perl's DBD::Sybase in the client comparison: every row of the result into Perl arrays
# with fetchall_arrayref, the usual way to read a whole result.
#   dbd_sybase_client.pl SERVER USER PASSWORD TEXTSIZE REPEAT SQL
# Runs SQL REPEAT times on one connection (after "set textsize TEXTSIZE" when above 0)
# and prints "rows=<all rows read>".
use strict;
use warnings;
use DBI;

die "usage: dbd_sybase_client.pl SERVER USER PASSWORD TEXTSIZE REPEAT SQL\n" unless @ARGV == 6;
my ($server, $user, $password, $textsize, $repeat, $sql) = @ARGV;
my $dbh = DBI->connect("dbi:Sybase:server=$server;charset=utf8", $user, $password,
                       {RaiseError => 1, PrintError => 0});
if ($textsize > 0) {
    $dbh->{LongReadLen} = $textsize;
    $dbh->do("set textsize $textsize");
}
my $rows = 0;
for (1 .. $repeat) {
    my $sth = $dbh->prepare($sql);
    $sth->execute;
    my $all = $sth->fetchall_arrayref;
    $rows += @$all;
}
$dbh->disconnect;
print "rows=$rows\n";
