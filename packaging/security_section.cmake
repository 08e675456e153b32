# Turns the "Security:" paragraph of vanthe-cli's --help into a section of its man page.
# cmake -DPAGE_IN=... -DPAGE_OUT=... -P security_section.cmake
file(READ "${PAGE_IN}" page)
string(REPLACE ".SS \"Security:\"\n.IP\n" ".SH SECURITY\n.PP\n" page "${page}")
file(WRITE "${PAGE_OUT}" "${page}")
