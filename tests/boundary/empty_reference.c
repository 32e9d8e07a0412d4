/* Nothing: a shared library of the toolchain's own parts alone, to compare
 * the real one with. */
typedef int quillet_nothing;
