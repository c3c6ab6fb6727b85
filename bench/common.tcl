# Shared set-up for the benchmarks: load the library from the build tree and
# time scripts against a reference measured in the same run.
if {![info exists ::env(ZKS_BUILD_DIR)]} {
    error "ZKS_BUILD_DIR must name the build directory (cmake --build build --target bench)"
}
set ::auto_path [linsert $::auto_path 0 $::env(ZKS_BUILD_DIR)]
package require Zks

# Microseconds per run of a script at the caller's level: the best of
# several rounds, so a busy machine disturbs the figures less.
proc usPer {script {runs 1} {rounds 5}} {
    set best Inf
    for {set r 0} {$r < $rounds} {incr r} {
        set us [lindex [uplevel 1 [list time $script $runs]] 0]
        if {$us < $best} {
            set best $us
        }
    }
    return $best
}

# Prints one comparison: what, both timings and their ratio, and the target
# the ratio is meant to meet ("<= 0.5", ">= 20" ...).
proc report {what us refUs refName target} {
    set ratio [expr {double($us) / $refUs}]
    puts [format "%-44s %12.3f us  %-10s %12.3f us  ratio %8.4f  (target %s)" \
        $what $us $refName $refUs $ratio $target]
    return $ratio
}
