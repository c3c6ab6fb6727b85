# Sourced by edge.spec: site details that a script computes.
set ZkZKS(site.name) "lab-[string toupper a]"
