# Shared set-up for the suites: load the library from the build tree.
package require tcltest 2.5
namespace import -force ::tcltest::*

if {![info exists ::env(ZKS_BUILD_DIR)]} {
    error "ZKS_BUILD_DIR must name the build directory (run the suites through ctest)"
}
set ::auto_path [linsert $::auto_path 0 $::env(ZKS_BUILD_DIR)]
package require Zks

# The tclsh for child processes: the one running the tests.
set ::zksTclsh [info nameofexecutable]

# Runs a script in a child tclsh with the library loaded and returns its
# standard output byte for byte (stderr is returned on failure).
proc childOutput {script} {
    set f [tcltest::makeFile "" childscript.tcl]
    set fd [open $f w]
    fconfigure $fd -translation lf
    puts $fd [list set ::auto_path [linsert $::auto_path 0 $::env(ZKS_BUILD_DIR)]]
    puts $fd {package require Zks}
    puts $fd $script
    close $fd
    set out [exec -keepnewline $::zksTclsh $f]
    file delete $f
    return $out
}
