# The bit and identifier-list codecs against straightforward pure-Tcl
# versions of the same conversions. Each should be at least 20 times faster.
source [file join [file dirname [info script]] common.tcl]

# Times the library's script and the pure-Tcl one in alternate rounds and
# keeps the best of each, so that a burst of load elsewhere on the machine
# does not fall on one side only.
proc compare {script runs refScript refRuns {rounds 5}} {
    set best [set refBest Inf]
    for {set r 0} {$r < $rounds} {incr r} {
        set best [expr {min($best, [uplevel 1 [list usPer $script $runs 1]])}]
        set refBest [expr {min($refBest, [uplevel 1 [list usPer $refScript $refRuns 1]])}]
    }
    list $best $refBest
}

proc tclBitPrint {text ranges} {
    set nums {}
    set k 0
    foreach octet [split $text :] {
        scan $octet %2x v
        for {set mask 0x80} {$mask} {set mask [expr {$mask >> 1}]} {
            if {$v & $mask} {
                lappend nums $k
            }
            incr k
        }
    }
    set out {}
    if {!$ranges} {
        foreach k $nums {
            append out "$k "
        }
        return $out
    }
    set first [lindex $nums 0]
    set last $first
    foreach k [lrange $nums 1 end] {
        if {$k == $last + 1} {
            set last $k
            continue
        }
        append out [expr {$first == $last ? "$first " : "$first - $last "}]
        set first [set last $k]
    }
    if {$first ne ""} {
        append out [expr {$first == $last ? $first : "$first - $last"}]
    }
    return [string trimright $out]
}

proc tclBitParse {text} {
    set octets [lrepeat 32 0]
    set lower -1
    set tokens [lsearch -all -inline -not -exact [split $text " "] {}]
    for {set i 0} {$i < [llength $tokens]} {incr i} {
        set token [lindex $tokens $i]
        if {[string index $token 0] eq "-"} {
            if {$lower < 0 || ![regexp {^\d+} [lindex $tokens [incr i]] upper]
                    || [scan $upper %d upper] != 1 || $upper > 255} {
                error "invalid range"
            }
        } elseif {![regexp {^\d+} $token lower] || [scan $lower %d lower] != 1
                || $lower > 255} {
            error "invalid number"
        } else {
            set upper $lower
        }
        for {set k $lower} {$k <= $upper} {incr k} {
            set n [expr {$k / 8}]
            lset octets $n [expr {[lindex $octets $n] | (0x80 >> ($k % 8))}]
        }
        if {$lower <= $upper} {
            set lower [expr {$upper + 1}]
        }
    }
    while {[llength $octets] > 1 && [lindex $octets end] == 0} {
        set octets [lrange $octets 0 end-1]
    }
    join [lmap o $octets {format %02x $o}] :
}

proc tclIdListParse {text} {
    set out {}
    foreach field [split [expr {$text eq "{}" ? "" : $text}] ,] {
        if {$field eq ""} {
            continue
        }
        if {[scan $field %d id] != 1 || $id < 0 || $id > 0xffff} {
            error "invalid Id List"
        }
        lappend out [format %02x:%02x [expr {$id >> 8}] [expr {$id & 0xff}]]
    }
    expr {[llength $out] ? [join $out :] : "00"}
}

proc tclIdListPrint {text} {
    set fields [lsearch -all -inline -not -exact [split $text :] {}]
    if {[llength $fields] % 2} {
        error "invalid number"
    }
    set ids {}
    foreach {high low} $fields {
        if {[scan $high$low %4x id] != 1} {
            error "invalid number"
        }
        lappend ids $id
    }
    join $ids ,
}

set numbers {0 - 2 5 7 - 8 12 17 - 20 33 40 - 47 64 100 - 103 130 150 - 155 200 250 - 255}

# bit parse writes its trace to C stdout: time it in a child whose stdout is
# /dev/null, and bring the two timings back on stderr.
if {[lindex $argv 0] eq "parse"} {
    if {[tclBitParse $numbers] ne [bit parse $numbers]} {
        error "pure-Tcl bit parse disagrees"
    }
    puts stderr [compare {bit parse $numbers} 2000 {tclBitParse $numbers} 200]
    exit
}
lassign [chan pipe] from to
exec [info nameofexecutable] [info script] parse >/dev/null 2>@ $to
close $to
lassign [read $from] us ref
close $from
report "bit parse (stdout to /dev/null)" $us $ref "pure Tcl" "<= 0.05"

set ff [join [lrepeat 32 ff] :]
foreach {form r} {plain 0 range 1} {
    set args [expr {$r ? [list $ff r] : [list $ff]}]
    if {[tclBitPrint $ff $r] ne [bit print {*}$args]} {
        error "pure-Tcl bit print disagrees"
    }
    lassign [compare {bit print {*}$args} 2000 {tclBitPrint $ff $r} 100] us ref
    report "bit print, 32 octets ff, $form form" $us $ref "pure Tcl" "<= 0.05"
}

expr {srand(85)}
set ids [join [lmap _ [lrepeat 85 x] {expr {entier(rand() * 65536)}}] ,]
set octets [idList parse $ids]
if {[tclIdListParse $ids] ne $octets || [tclIdListPrint $octets] ne [idList print $octets]} {
    error "pure-Tcl idList disagrees"
}
lassign [compare {idList parse $ids} 2000 {tclIdListParse $ids} 200] us ref
report "idList parse, 85 identifiers" $us $ref "pure Tcl" "<= 0.05"
lassign [compare {idList print $octets} 2000 {tclIdListPrint $octets} 200] us ref
report "idList print, 85 identifiers" $us $ref "pure Tcl" "<= 0.05"
