// The kestrix program: runs the module's jobs on the simulated machine.
#include <cstdio>
#include <cstring>

#include "common/Units.h"
#include "geometry/Registration.h"

namespace {

int Usage(FILE* to) {
  std::fprintf(to,
               "usage: kestrix demo    fit the registration transform to a sample set of marks\n");
  return to == stdout ? 0 : 2;
}

// Three marks as a reference image shows them and as a camera would find them on a sheet laid
// 0.5 degrees askew, 0.2 % long in x and shifted by (1500, 820) cutter units.
int Demo() {
  const NewWorldPt ref[3] = {{400.0, 400.0}, {9600.0, 400.0}, {400.0, 7600.0}};
  const TM truth{1.002 * 0.9999619, 0.0087265, -0.0087265, 0.9999619, 1500.0, 820.0};
  NewWorldPt found[3];
  for (int i = 0; i < 3; ++i) found[i] = truth.Map(ref[i]);
  const TM tm = kx::GetTM(ref[0], ref[1], ref[2], found[0], found[1], found[2]);
  std::printf("Registration transform from three mark pairs (cutter units):\n");
  for (int i = 0; i < 3; ++i)
    std::printf("  mark %d: reference (%8.1f, %8.1f) -> found (%8.1f, %8.1f)\n", i, ref[i].x,
                ref[i].y, found[i].x, found[i].y);
  std::printf("  m11 %.7f  m12 %.7f  m21 %.7f  m22 %.7f  dx %.2f  dy %.2f\n", tm.m11, tm.m12,
              tm.m21, tm.m22, tm.dx, tm.dy);
  std::printf("The registration run on the simulated machine is not built yet.\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  if (std::strcmp(argv[1], "demo") == 0) return Demo();
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) return Usage(stdout);
  std::fprintf(stderr, "kestrix: unknown command '%s'\n", argv[1]);
  return Usage(stderr);
}
