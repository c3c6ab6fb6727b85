# Script utilities: loop against for and against TclX's loop, rlindex
# against lindex.
source [file join [file dirname [info script]] common.tcl]

# TclX's loop is timed in a child interpreter, where it does not replace
# ours; the procedures and usPer are defined there exactly as here.
set tclx [interp create]
if {[catch {$tclx eval {package require Tclx}} msg]} {
    puts "(TclX not loadable: $msg; the TclX loop comparisons are skipped)"
    interp delete $tclx
    set tclx ""
} else {
    $tclx eval [list proc usPer [info args usPer] [info body usPer]]
}

# Defines a procedure here and, if TclX is there, identically in its child.
proc shared {name params body} {
    proc $name $params $body
    if {$::tclx ne ""} {
        $::tclx eval [list proc $name $params $body]
    }
}

# Times each {interp script} pair at its interpreter's global level ({} is
# this one), in alternate rounds of runs calls, and returns the best
# microseconds per call of each. Alternating keeps a burst of load elsewhere
# on the machine from falling on one side only.
proc bestOf {runs pairs {rounds 3}} {
    set best [lrepeat [llength $pairs] Inf]
    for {set r 0} {$r < $rounds} {incr r} {
        set k 0
        foreach pair $pairs {
            lassign $pair in script
            set us [interp eval $in [list usPer $script $runs 1]]
            lset best $k [expr {min([lindex $best $k], $us)}]
            incr k
        }
    }
    return $best
}

# Checks that every {interp script} pair gives the same result.
proc agree {what pairs} {
    set results [lmap pair $pairs {interp eval {*}$pair}]
    if {[llength [lsort -unique $results]] != 1} {
        error "$what: results disagree: $results"
    }
}

# --- loop: a short loop in a procedure called many times ----------------
shared shortLoop {} {
    set s 0
    set y ""
    loop i 0 5 {incr s $i; set x [expr {$s*2}]; append y $x}
    return "$s $y"
}
proc shortFor {} {
    set s 0
    set y ""
    for {set i 0} {$i < 5} {incr i} {incr s $i; set x [expr {$s*2}]; append y $x}
    return "$s $y"
}
set pairs {{{} shortLoop} {{} shortFor}}
if {$tclx ne ""} {
    lappend pairs [list $tclx shortLoop]
}
agree "5-step loop" $pairs
lassign [bestOf 100000 $pairs] loopUs forUs tclxUs
set what "loop, 5 steps, proc called 100,000 times"
report $what $loopUs $forUs for "<= 2.6"
if {$tclx ne ""} {
    report $what $loopUs $tclxUs "TclX loop" "<= 0.65"
}

# --- loop: one long counting loop in a procedure ------------------------
shared withLoop {n} {
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
set pairs [list [list {} "withLoop $n"] [list {} "withFor $n"] [list {} "withLoopOnLocal $n"]]
if {$tclx ne ""} {
    lappend pairs [list $tclx "withLoop $n"]
}
agree "1e6-step loop" $pairs
lassign [bestOf 1 $pairs] loopUs forUs localUs tclxUs
report "loop i 0 1e6 {incr s \$i} in a proc" $loopUs $forUs for "<= 4.2"
if {$tclx ne ""} {
    report "loop i 0 1e6 {incr s \$i} in a proc" $loopUs $tclxUs "TclX loop" "<= 0.5"
}
report "the same, i already a local of the proc" $localUs $forUs for "<= 2.8"

if {$tclx ne ""} {
    interp delete $tclx
}

# --- rlindex: an early element of a list value, many calls in a proc ----
# Reported per call; the value is a list object, as most scripts' lists are.
# Each round is short, so more rounds than elsewhere steady the ratio.
set k -1
set list1000 [lmap _ [lrepeat 1000 {}] {format w%d [incr k]}]
proc manyRlindex {v n} {
    for {set k 0} {$k < $n} {incr k} {rlindex v 3}
    rlindex v 3
}
proc manyLindex {v n} {
    for {set k 0} {$k < $n} {incr k} {lindex $v 3}
    lindex $v 3
}
set calls 100000
agree "rlindex on a list" [list [list {} [list manyRlindex $list1000 1]] \
    [list {} [list manyLindex $list1000 1]]]
lassign [bestOf 1 [list [list {} [list manyRlindex $list1000 $calls]] \
    [list {} [list manyLindex $list1000 $calls]]] 11] rlindexUs lindexUs
report "rlindex v 3, 1,000-element list, in a proc" [expr {double($rlindexUs) / $calls}] \
    [expr {double($lindexUs) / $calls}] lindex "<= 3.3"

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
proc usOnFresh {script {copies 20} {rounds 3}} {
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
