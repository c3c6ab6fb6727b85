# Runs every suite (or those named with -file) and exits non-zero when any
# test fails, so that CTest and CI see failures.
package require Tcl 8.6-
package require tcltest 2.5
namespace import ::tcltest::*

configure {*}$argv -testdir [file dirname [file normalize [info script]]]
# A suite run on its own by CTest works in a directory of its own.
if {[info exists env(ZKS_SUITE)]} {
    configure -tmpdir [file join [temporaryDirectory] $env(ZKS_SUITE)]
}
if {[runAllTests]} {
    exit 1
}
