# Shared set-up for the benchmarks: load the library from the build tree,
# time scripts against a reference measured in the same run, and say of each
# ratio whether it meets its target.
#
# A ratio holds steady within one process but not from one process to the
# next (rlindex on a list: 2.7 in one, 4.6 in another), so a benchmark script
# that sources this file runs itself again ZKS_BENCH_RUNS times (default 5),
# each run a process of its own, and reports the median of the runs.
if {![info exists ::env(ZKS_BUILD_DIR)]} {
    error "ZKS_BUILD_DIR must name the build directory (cmake --build build --target bench)"
}
set ::benchRuns 5
if {[info exists ::env(ZKS_BENCH_RUNS)]} {
    if {![string is integer -strict $::env(ZKS_BENCH_RUNS)] || $::env(ZKS_BENCH_RUNS) < 1} {
        error "ZKS_BENCH_RUNS must be a positive integer, not \"$::env(ZKS_BENCH_RUNS)\""
    }
    set ::benchRuns [expr {int($::env(ZKS_BENCH_RUNS))}]
}

# Microseconds per run of a script at the caller's level: the best of
# several rounds, so a busy machine disturbs the figures less.
proc usPer {script {runs 1} {rounds 5}} {
    set best Inf
    for {set r 0} {$r < $rounds} {incr r} {
        set us [lindex [uplevel 1 [list time $script $runs]] 0]
        if {$us < $best} {
            set best $us
        }
    }
    return $best
}

# Records one comparison of this run: what, both timings in microseconds,
# the reference's name and the target its ratio is meant to meet ("<= 0.5",
# ">= 20"). The process that started the runs reports it.
proc report {what us refUs refName target} {
    puts [list zks-bench-ratio $what $us $refUs $refName $target]
    return [expr {double($us) / $refUs}]
}

proc median {values} {
    set sorted [lsort -real $values]
    set n [llength $sorted]
    set mid [expr {$n / 2}]
    if {$n % 2} {
        return [lindex $sorted $mid]
    }
    expr {([lindex $sorted $mid-1] + [lindex $sorted $mid]) / 2.0}
}

# A positive number with three significant digits in fixed notation, since
# ratios run from a few ten-thousandths to several units.
proc sig3 {x} {
    if {$x <= 0} {
        return [format %.3f $x]
    }
    set decimals [expr {max(0, 2 - int(floor(log10($x))))}]
    format %.*f $decimals $x
}

# A duration given in microseconds, in the unit that reads best.
proc duration {us} {
    set micro [expr {[string match -nocase utf-8 [fconfigure stdout -encoding]]
        ? "\u00b5s" : "us"}]
    foreach {unit scale} [list s 1e6 ms 1e3 $micro 1 ns 1e-3] {
        if {$us >= $scale} {
            break
        }
    }
    return "[sig3 [expr {$us / $scale}]] $unit"
}

# Prints one comparison over all runs: the median timing of each side, the
# median of the runs' ratios with their range, the target and whether the
# median meets it. us and refUs hold one timing per run.
# Results: 1 if the target is met, else 0.
proc summarize {what us refUs refName target} {
    if {![regexp {^(<=|>=)\s*([0-9.]+)$} $target -> op limit]} {
        error "target \"$target\" is not \"<= N\" or \">= N\""
    }
    set ratios [lsort -real [lmap a $us b $refUs {expr {double($a) / $b}}]]
    set ratio [median $ratios]
    set met [expr {$op eq "<=" ? $ratio <= $limit : $ratio >= $limit}]
    set spread "([sig3 [lindex $ratios 0]]..[sig3 [lindex $ratios end]])"
    puts [format "%-46s %9s  %-9s %9s  ratio %-8s %-21s target %-7s %s" \
        $what [duration [median $us]] $refName [duration [median $refUs]] \
        [sig3 $ratio] $spread $target [expr {$met ? "met" : "MISSED"}]]
    return $met
}

# Runs the benchmark script benchRuns times, each in a process of its own,
# passes on what the runs print besides their comparisons (once), and
# summarizes each comparison. The last line, "N of M targets met", is what
# all.tcl adds up. An error in a run ends this process with status 1.
proc runAll {script} {
    set comparisons {}
    set notes {}
    for {set run 1} {$run <= $::benchRuns} {incr run} {
        set ::env(ZKS_BENCH_RUN) $run
        set pipe [open |[list [info nameofexecutable] $script {*}$::argv 2>@stderr] r]
        set k 0
        while {[gets $pipe line] >= 0} {
            if {[string match "zks-bench-ratio *" $line]} {
                lassign $line - what us refUs refName target
                if {$run == 1} {
                    lappend comparisons [list $what $refName $target]
                } elseif {[lindex $comparisons $k] ne [list $what $refName $target]} {
                    puts stderr "run $run compared \"$what\" where run 1 did not"
                    exit 1
                }
                lappend times($k) $us $refUs
                incr k
            } elseif {$run == 1} {
                puts $line
            }
        }
        if {[catch {close $pipe} msg]} {
            puts stderr "run $run: $msg"
            exit 1
        }
    }
    set met 0
    set k 0
    foreach comparison $comparisons {
        lassign $comparison what refName target
        set us [lmap {a b} $times($k) {set a}]
        set refUs [lmap {a b} $times($k) {set b}]
        incr met [summarize $what $us $refUs $refName $target]
        incr k
    }
    puts "$met of [llength $comparisons] targets met"
}

if {![info exists ::env(ZKS_BENCH_RUN)]} {
    runAll $::argv0
    exit 0
}

set ::auto_path [linsert $::auto_path 0 $::env(ZKS_BUILD_DIR)]
package require Zks
