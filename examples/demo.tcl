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

# --- Bit sets, port lists and identifier lists ---------------------------
# bit parse and port parse write trace lines to stdout as they work, as puts
# would, so each trace comes right under the line that announces its call.

# A port mapping for devices with 8 ports per slot: 1/1 is bit 0, 2/1 is 8.
proc zksBitIndexPort {port} {
    scan $port %d/%d slot n
    expr {($slot - 1) * 8 + $n - 1}
}
proc zksBitIfIndex2Port {bit} {
    return [expr {$bit / 8 + 1}]/[expr {$bit % 8 + 1}]
}

puts "\nbit: number lists and hex-octet strings"
puts "  bit parse {0 - 2 5 7 - 8} traces its work:"
set octets [bit parse {0 - 2 5 7 - 8}]
puts "  and returns $octets"
puts "  bit print $octets -> \"[bit print $octets]\""
puts "  bit print $octets r -> [bit print $octets r]"

puts "\nport: ports through zksBitIndexPort / zksBitIfIndex2Port (8 per slot)"
puts "  port parse {1/1-1/4 2/3 4/8} traces its work:"
set octets [port parse {1/1-1/4 2/3 4/8}]
puts "  and returns $octets"
puts "  port print $octets -> [port print $octets]"
puts "  port print $octets r -> [port print $octets r]"

puts "\nidList: identifier lists and two-octet hex"
set octets [idList parse 5,12,300,65535]
puts "  idList parse 5,12,300,65535 -> $octets"
puts "  idList print $octets -> [idList print $octets]"

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

# --- Script utilities ----------------------------------------------------
set squares {}
loop i 1 6 {lappend squares [expr {$i * $i}]}
puts "\nloop i 1 6 gives the squares $squares and leaves i at $i"
loop i 10 0 -4 {puts "  counting down: $i"}
set big [lrepeat 100000 filler]
lset big 2 {second {nested} element}
set big [string range "x$big" 1 end] ;# a plain string, as read from a file
puts "rlindex big 2 on a 100,000-element string: [rlindex big 2]"
