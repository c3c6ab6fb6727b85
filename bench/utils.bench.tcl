# Script utilities: loop against for, rlindex against lindex.
source [file join [file dirname [info script]] common.tcl]

# --- loop: a hot counting loop in a procedure ---------------------------
proc withLoop {n} {
    set s 0
    loop i 0 $n {incr s $i}
    return $s
}
proc withFor {n} {
    set s 0
    for {set i 0} {$i < $n} {incr i} {incr s $i}
    return $s
}
# The same loop where the procedure already uses i, so that i is one of its
# compiled locals (as for's i is) rather than a variable looked up by name.
proc withLoopOnLocal {n} {
    set s 0
    set i 0
    loop i 0 $n {incr s $i}
    return $s
}
set n 1000000
if {[withLoop $n] != [withFor $n] || [withLoopOnLocal $n] != [withFor $n]} {
    error "loop and for disagree"
}
set forUs [usPer {withFor $n}]
report "loop i 0 1e6 {incr s \$i} in a proc" [usPer {withLoop $n}] $forUs for "<= 1.0"
report "the same, i already a local of the proc" [usPer {withLoopOnLocal $n}] $forUs for "(info)"

# An existing loop extension, if installed, for comparison: name its package
# in ZKS_OTHER_LOOP_PACKAGE. It is loaded into a child interpreter so that its
# loop does not replace ours here.
if {[info exists ::env(ZKS_OTHER_LOOP_PACKAGE)]} {
    set other [interp create]
    if {[catch {$other eval [list package require $::env(ZKS_OTHER_LOOP_PACKAGE)]} msg]} {
        puts "(other loop extension not loadable: $msg)"
    } else {
        $other eval [list proc withLoop {n} [info body withLoop]]
        $other eval [list proc usPer [info args usPer] [info body usPer]]
        set otherUs [$other eval [list usPer [list withLoop $n]]]
        set us [usPer {withLoop $n}]
        report "loop against the other extension's loop" $us $otherUs other "(info)"
    }
    interp delete $other
} else {
    puts "(no other loop extension named in ZKS_OTHER_LOOP_PACKAGE: comparison skipped)"
}

# --- rlindex: one early element of a fresh 100,000-element string -------
set words {}
for {set k 0} {$k < 100000} {incr k} {
    lappend words "w$k"
}
set text [join $words " "]
unset words

# Microseconds per call of a command on fresh copies of the text: each call
# gets a string that no command has parsed as a list yet. The copies are
# made before the clock starts; the best of several rounds counts.
proc usOnFresh {script {copies 20} {rounds 5}} {
    set best Inf
    for {set r 0} {$r < $rounds} {incr r} {
        for {set k 0} {$k < $copies} {incr k} {
            set ::fresh($k) [string range "x$::text" 1 end]
        }
        set ::k 0
        set us [lindex [uplevel #0 [list time $script $copies]] 0]
        if {$us < $best} {
            set best $us
        }
    }
    unset ::fresh
    return $best
}
if {[rlindex text 3] ne [lindex $text 3]} {
    error "rlindex and lindex disagree"
}
set lindexUs [usOnFresh {lindex $fresh($k) 3; incr k}]
set rlindexUs [usOnFresh {rlindex fresh($k) 3; incr k}]
report "rlindex v 3 on a fresh 100,000-element string" $rlindexUs $lindexUs lindex "<= 0.05"
