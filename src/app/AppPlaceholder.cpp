namespace app_placeholder { int unused = 0; }
