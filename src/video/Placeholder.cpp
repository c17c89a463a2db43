namespace video_placeholder { int unused = 0; }
