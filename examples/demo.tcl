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

# --- Managed values and addresses ----------------------------------------
puts "\nManaged values and addresses:"
puts "  timeticks uptime 12345678    = [timeticks uptime 12345678]"
set octets [dec2hex {2561 515}]
puts "  dec2hex {2561 515}           = $octets"
puts "  hex2dec $octets          = [hex2dec $octets]"
set aliases [ipmShowIpAddr 224.1.2.3]
puts "  ipmShowIpAddr 224.1.2.3      = [llength $aliases] aliases: [lrange $aliases 0 2] ..."
if {[catch {getIPAddr localhost} addr]} {
    set addr "(not in the host database)"
}
puts "  getIPAddr localhost          = $addr"
