# Turns the "Security:" and "Exit status:" paragraphs of vanthe-cli's --help into sections of
# its man page.
# cmake -DPAGE_IN=... -DPAGE_OUT=... -P security_section.cmake
file(READ "${PAGE_IN}" page)
string(REPLACE ".SS \"Security:\"\n.IP\n" ".SH SECURITY\n.PP\n" page "${page}")
string(REPLACE ".SS \"Exit status:\"\n" ".SH \"EXIT STATUS\"\n" page "${page}")
file(WRITE "${PAGE_OUT}" "${page}")
