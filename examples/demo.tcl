# A tour of the zks library: load it into tclsh, read a sample specification
# (which includes another file and sources a script), and convert values.
if {[info exists env(ZKS_BUILD_DIR)]} {
    set auto_path [linsert $auto_path 0 $env(ZKS_BUILD_DIR)]
}
puts "zks [package require Zks]"

set here [file dirname [file normalize [info script]]]
cd $here

# --- Specification files -------------------------------------------------
readZKS [file join $here spec edge.spec]
puts "\nZkZKS after readZKS spec/edge.spec:"
foreach name [lsort [array names ZkZKS]] {
    puts [format "  %-22s = %s" $name $ZkZKS($name)]
}
if {[catch {readZKS [file join $here spec broken.spec]} msg]} {
    puts "a faulty file is reported by name and line:\n  $msg"
}

# --- Script utilities ----------------------------------------------------
set squares {}
loop i 1 6 {lappend squares [expr {$i * $i}]}
puts "\nloop i 1 6 gives the squares $squares and leaves i at $i"
loop i 10 0 -4 {puts "  counting down: $i"}
set big [lrepeat 100000 filler]
lset big 2 {second {nested} element}
set big [string range "x$big" 1 end] ;# a plain string, as read from a file
puts "rlindex big 2 on a 100,000-element string: [rlindex big 2]"
