namespace lingo_placeholder {
int unused = 0;
}
