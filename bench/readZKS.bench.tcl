# readZKS against the obvious alternatives on generated files:
#  - 100,000 attributes in 2,000 classes, against [source] of the same
#    assignments written as a Tcl script (target: at most 0.5 of its time);
#  - about 45 MB of comments and blank lines, against "wc -l" on the same
#    file (target: at most 4 times its time).
source [file join [file dirname [info script]] common.tcl]

set tmp [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] zks-bench-[pid]]
file mkdir $tmp

proc writeFile {path text} {
    set fd [open $path w]
    fconfigure $fd -translation lf
    puts -nonewline $fd $text
    close $fd
}

# --- Attributes ---------------------------------------------------------
set spec {}
set script {}
for {set c 0} {$c < 2000} {incr c} {
    append spec "class c$c \{\n"
    for {set a 0} {$a < 50} {incr a} {
        switch [expr {$a % 3}] {
            0 {set v $a}
            1 {set v "\"value $a of $c\""}
            2 {set v "{list $a $c}"}
        }
        append spec "    a$a $v\n"
        append script "set ZkZKS(c$c.a$a) $v\n"
    }
    append spec "\}\n"
}
writeFile [file join $tmp attrs.spec] $spec
writeFile [file join $tmp attrs.tcl] $script

proc viaReadZKS {path} {
    uplevel #0 [list unset -nocomplain ZkZKS]
    uplevel #0 [list readZKS $path]
}
proc viaSource {path} {
    uplevel #0 [list unset -nocomplain ZkZKS]
    uplevel #0 [list source $path]
}
viaReadZKS [file join $tmp attrs.spec]
set n [array size ZkZKS]
viaSource [file join $tmp attrs.tcl]
if {$n != 100000 || [array size ZkZKS] != 100000} {
    error "expected 100000 elements, got $n and [array size ZkZKS]"
}
set r [usPer {viaReadZKS [file join $tmp attrs.spec]} 1 2]
set s [usPer {viaSource [file join $tmp attrs.tcl]} 1 2]
report "readZKS 100,000 attributes" $r $s source "<= 0.5"

# --- Comments -----------------------------------------------------------
set block {}
for {set i 0} {$i < 1000} {incr i} {
    append block "# comment line $i of the generated block, some text to skip over\n"
    if {$i % 10 == 0} {
        append block "\n"
    }
}
set fd [open [file join $tmp comments.spec] w]
fconfigure $fd -translation lf
set size 0
while {$size < 45000000} {
    puts -nonewline $fd $block
    incr size [string length $block]
}
close $fd
unset block
set path [file join $tmp comments.spec]
set r [usPer {readZKS $path} 1 3]
set w [usPer {exec wc -l $path} 1 3]
report "readZKS [format %.0f [expr {$size / 1e6}]] MB of comments" $r $w "wc -l" "<= 4"

file delete -force $tmp
