# Shared set-up for the suites: the library loaded from the build tree, and
# the helpers that more than one suite uses.
package require Tcl 8.6-
package require tcltest 2.5
namespace import -force ::tcltest::*

if {![info exists ::env(ZKS_BUILD_DIR)]} {
    error "ZKS_BUILD_DIR must name the build directory (run the suites through ctest)"
}
set ::auto_path [linsert $::auto_path 0 $::env(ZKS_BUILD_DIR)]
package require Zks

# The library file, for loading into other interpreters, as CMake named it
# (zks.so for Tcl 8.6, libtcl9zks1.1.so for Tcl 9).
set ::zksLibrary $::env(ZKS_LIBRARY)

# The library's commands in the order it creates them, and those a safe
# interpreter does not get.
set ::zksCommands {readZKS rlindex loop timeticks getIPAddr getIPHost bit port chmod
    dec2hex hex2dec ipmShowIpAddr idList deleteProc}
set ::zksTrustedOnly {readZKS getIPAddr getIPHost chmod}

# What Tcl itself words differently from one version to the next (its
# texts for system errors, its code for a bad integer), taken from Tcl's own
# commands so that the suites hold on every version.
proc tclErrorCode {script} {
    catch {uplevel #0 $script} - opts
    dict get $opts -errorcode
}
# Windows refuses to open a directory as it refuses any access (EACCES), and
# says EISDIR only to a hard link to one.
if {$::tcl_platform(platform) eq "windows"} {
    set ::tclIsDirectory [lindex [tclErrorCode {file link -hard \
        [file join [temporaryDirectory] zksLink] [temporaryDirectory]}] 2]
} else {
    set ::tclIsDirectory [lindex [tclErrorCode {open [temporaryDirectory] w}] 2]
}
set ::tclIntegerCode [tclErrorCode {string repeat a x}]
set ::tclIOError ""
if {![catch {open /proc/self/mem} fd]} {
    set ::tclIOError [lindex [tclErrorCode {read $fd}] 2]
    close $fd
}

# The tclsh for child processes: the one running the tests.
set ::zksTclsh [info nameofexecutable]

# Runs script at the global level of a child tclsh and returns {code value
# stdout}: the script's completion code and result, which travel through a
# file, and the child's standard output byte for byte, C stdout included (the
# parse traces go there). Options, before the script:
#   -path DIR       first on the child's auto_path (default: the build tree)
#   -require PKGS   packages required before the script (default: Zks)
#   -setup SCRIPT   run before the script
#   -report SCRIPT  run after it; its result comes between value and stdout
#   -env {NAME VALUE ...}  added to the child's environment
#   -stdout discard send standard output to /dev/null (stdout is then empty)
# A crash, a non-zero exit or anything on stderr is an error of the call.
proc inChild {args} {
    set script [lindex $args end]
    set o [dict merge {-path {} -require Zks -setup {} -report {} -env {} -stdout keep} \
        [lrange $args 0 end-1]]
    if {[dict get $o -path] eq ""} {
        dict set o -path $::env(ZKS_BUILD_DIR)
    }
    # Names of this process's own: suites may run side by side.
    set scriptFile [file join [temporaryDirectory] child[pid].tcl]
    set valueFile [file join [temporaryDirectory] child[pid].value]
    set fd [open $scriptFile w]
    fconfigure $fd -translation lf -encoding utf-8
    puts $fd [list apply {{path require setup script report valueFile} {
        set ::auto_path [linsert $::auto_path 0 $path]
        foreach p $require {
            package require $p
        }
        uplevel #0 $setup
        set r [list [catch {uplevel #0 $script} value] $value]
        if {$report ne ""} {
            lappend r [uplevel #0 $report]
        }
        set fd [open $valueFile w]
        fconfigure $fd -encoding utf-8
        puts -nonewline $fd $r
        close $fd
    }} [dict get $o -path] [dict get $o -require] [dict get $o -setup] $script \
        [dict get $o -report] $valueFile]
    close $fd
    set cmd [list $::zksTclsh -encoding utf-8 $scriptFile]
    if {[dict size [dict get $o -env]]} {
        set cmd [list env {*}[lmap {n v} [dict get $o -env] {string cat $n = $v}] {*}$cmd]
    }
    if {[dict get $o -stdout] eq "discard"} {
        lappend cmd >/dev/null
    }
    file delete $valueFile
    try {
        set out [exec -keepnewline {*}$cmd]
        if {![file exists $valueFile]} {
            error "the child exited before its script ended"
        }
        set fd [open $valueFile]
        fconfigure $fd -encoding utf-8
        set r [read $fd]
        close $fd
    } finally {
        file delete $scriptFile $valueFile
    }
    lappend r $out
}

# LD_PRELOAD for a child that also loads the module lib, behind whatever the
# environment preloads already (a sanitizer runtime must stay first).
proc preloads {lib} {
    string trim "[expr {[info exists ::env(LD_PRELOAD)] ? $::env(LD_PRELOAD) : ""}] $lib"
}

# Writes text to path byte for byte, making its directory, and returns path.
proc writeFile {path text} {
    file mkdir [file dirname $path]
    set fd [open $path w]
    fconfigure $fd -translation binary
    puts -nonewline $fd $text
    close $fd
    return $path
}

# A chain of specification files PREFIX0.spec -> PREFIX1.spec -> ... in dir,
# length files in all, each including the next; the last one holds last.
# Returns the path of the first.
proc chain {dir prefix length last} {
    for {set i 0} {$i < $length - 1} {incr i} {
        writeFile [file join $dir $prefix$i.spec] \
            "class c$i { v $i }\ninclude \"$prefix[expr {$i + 1}].spec\"\n"
    }
    writeFile [file join $dir $prefix[expr {$length - 1}].spec] $last
    file join $dir ${prefix}0.spec
}

# The bit-list parser's trace lines for a set given as its octets in text
# order (numbers 0-7 first): a setting line ("%x" each, highest octet first)
# and the octet line (" %x" each).
proc octets {args} {lreverse [concat $args [lrepeat [expr {32 - [llength $args]}] 0]]}
proc setLine {args} {return [join [lmap o [octets {*}$args] {format %x $o}] ""]\n}
proc octLine {args} {return [join [lmap o [octets {*}$args] {format " %x" $o}] ""]\n}
