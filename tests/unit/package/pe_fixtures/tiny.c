// The program of the resource-editing fixture tiny.exe: one absolute
// address, so that the image has relocations in a section behind its
// resources, as linked programs have.
static int counter = 1;
int* volatile where = &counter;  /* an absolute address: the image gets relocations */
int start(void) { return *where; }
