/* The project's version and the commit the program was built from, as every
 * program and tool prints them for `--version`. Compiles as C and as C++. */
#ifndef VX_VERSION_H
#define VX_VERSION_H

#ifdef __cplusplus
extern "C" {
#endif

/* The project's version, "MAJOR.MINOR.PATCH". */
const char* vx_version(void);

/* The commit, abbreviated, with "-dirty" when the work tree had changes;
 * "unknown" when the build was not made from a git work tree. */
const char* vx_commit(void);

/* Prints "<program> <version> (commit <commit>)" and a newline on standard
 * output. */
void vx_print_version(const char* program);

#ifdef __cplusplus
}
#endif

#endif
