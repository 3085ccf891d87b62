/* A stand-in libavutil.so.57 for loader failure tests: it reports FAKE_VERSION and exports
 * nothing else, so binding either fails on the version or on the first missing entry. */
unsigned avutil_version(void) { return FAKE_VERSION; }
