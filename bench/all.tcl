# Runs every benchmark of this directory; each prints its ratios.
set dir [file dirname [file normalize [info script]]]
foreach f [lsort [glob -directory $dir *.bench.tcl]] {
    puts "== [file tail $f]"
    if {[catch {exec [info nameofexecutable] $f >@stdout 2>@stderr} msg]} {
        puts "failed: $msg"
    }
}
