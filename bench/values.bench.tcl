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

# Timed inside a procedure, where scripts call these commands: variables are
# compiled locals there, so the figures are of the conversions, not of
# global variable lookups.
proc compare {cmd ref arg runs} {
    if {[$cmd $arg] ne [$ref $arg]} {
        error "$cmd and $ref differ on \"$arg\""
    }
    report "$cmd {$arg}" [usPer {$cmd $arg} $runs] [usPer {$ref $arg} $runs] pure-Tcl "<= 0.1"
}

compare hex2dec tclHex2dec 0a:01:02:03 20000
compare hex2dec tclHex2dec 00:1a:2b:3c:4d:5e 20000
compare dec2hex tclDec2hex {10 20 300 4000 50000 6 70 800} 20000
compare ipmShowIpAddr tclIpmShowIpAddr 224.1.2.3 5000
