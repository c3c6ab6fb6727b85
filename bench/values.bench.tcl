# hex2dec, dec2hex and ipmShowIpAddr against the obvious pure-Tcl code that
# scripts would otherwise carry. Target: each at least 10 times faster.
source [file join [file dirname [info script]] common.tcl]

proc tclHex2dec {hex} {
    if {[string first : $hex] < 0} {
        return $hex
    }
    join [lmap field [split $hex :] {scan $field %x}] .
}

proc tclDec2hex {list} {
    set digits ""
    foreach word [split $list " "] {
        if {$word ne ""} {
            append digits [format %04x $word]
        }
    }
    regsub -all {..(?=.)} $digits {&:}
}

proc tclIpmShowIpAddr {address} {
    scan $address %d.%d.%d.%d a b c d
    set given [format %d.%d.%d.%d [expr {$a & 255}] [expr {$b & 255}] [expr {$c & 255}] [expr {$d & 255}]]
    set result ""
    for {set first 224} {$first <= 239} {incr first} {
        foreach top {0 128} {
            set candidate [format %d.%d.%d.%d $first [expr {($b & 127) | $top}] [expr {$c & 255}] [expr {$d & 255}]]
            if {$candidate ne $given} {
                append result $candidate " "
            }
        }
    }
    return $result
}

# Timed as scripts call these commands: many calls in a loop of a
# procedure, where the argument is a compiled local. Timing single calls
# with [time] would add the cost of [time]'s own evaluation to each.
proc compare {cmd ref arg runs} {
    if {[$cmd $arg] ne [$ref $arg]} {
        error "$cmd and $ref differ on \"$arg\""
    }
    foreach c [list $cmd $ref] {
        proc calls$c {arg n} "for {set i 0} {\$i < \$n} {incr i} {$c \$arg}"
    }
    set us [expr {[usPer [list calls$cmd $arg $runs] 1 3] / double($runs)}]
    set refUs [expr {[usPer [list calls$ref $arg $runs] 1 3] / double($runs)}]
    report "$cmd {$arg}" $us $refUs pure-Tcl "<= 0.1"
}

compare hex2dec tclHex2dec 0a:01:02:03 20000
compare hex2dec tclHex2dec 00:1a:2b:3c:4d:5e 20000
compare dec2hex tclDec2hex {10 20 300 4000 50000 6 70 800} 20000
compare ipmShowIpAddr tclIpmShowIpAddr 224.1.2.3 5000
