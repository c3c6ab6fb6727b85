# Runs every benchmark of this directory; each prints its ratios, and the
# last line says how many targets were met in all.
#
#   tclsh all.tcl ?--runs N? ?--check?
#
# --runs N measures each ratio N times (default 5, or ZKS_BENCH_RUNS) and
# reports the median. --check exits with status 1 when a target is missed or
# a benchmark fails; without it the status is 0 whatever the figures.
set usage "usage: [file tail [info script]] ?--runs N? ?--check?"
set check 0
for {set i 0} {$i < [llength $argv]} {incr i} {
    switch -- [lindex $argv $i] {
        --check {
            set check 1
        }
        --runs {
            set n [lindex $argv [incr i]]
            if {![string is integer -strict $n] || $n < 1} {
                puts stderr $usage
                exit 2
            }
            set env(ZKS_BENCH_RUNS) $n
        }
        default {
            puts stderr $usage
            exit 2
        }
    }
}
set runs [expr {[info exists env(ZKS_BENCH_RUNS)] ? $env(ZKS_BENCH_RUNS) : 5}]
if {![string is integer -strict $runs] || $runs < 1} {
    puts stderr "ZKS_BENCH_RUNS must be a positive integer, not \"$runs\""
    exit 2
}
puts "Each ratio is the median of $runs [expr {$runs == 1 ? "run" : "runs"}], each a process\
    of its own (their range in parentheses); times are each side's median."

set dir [file dirname [file normalize [info script]]]
set met 0
set targets 0
set failed {}
foreach f [lsort [glob -directory $dir *.bench.tcl]] {
    puts "== [file tail $f]"
    flush stdout
    # A script's own last line, its tally, is added to the others rather
    # than printed.
    set tally ""
    set pipe [open |[list [info nameofexecutable] $f 2>@stderr] r]
    while {[gets $pipe line] >= 0} {
        if {[regexp {^(\d+) of (\d+) targets met$} $line -> m t]} {
            set tally [list $m $t]
        } else {
            puts $line
            flush stdout
        }
    }
    if {[catch {close $pipe} msg] || $tally eq ""} {
        puts "failed: [expr {$msg ne "" ? $msg : "no tally"}]"
        lappend failed [file tail $f]
    } else {
        incr met [lindex $tally 0]
        incr targets [lindex $tally 1]
    }
}
if {[llength $failed]} {
    puts "failed: [join $failed {, }] (their targets are not counted)"
}
puts "$met of $targets targets met"
exit [expr {$check && ($met < $targets || [llength $failed])}]
