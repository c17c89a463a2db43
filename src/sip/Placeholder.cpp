namespace sip_placeholder { int unused = 0; }
