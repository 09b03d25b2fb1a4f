/* Built with nothing but what pkg-config says about the installed vexo-j2534. The simulated
   cable stands in for libusb, so the library really opens a cable. */
#include <stdio.h>
#include <vexo/j2534.h>

unsigned vexo_sim_attach_cables(unsigned count);

int main(void) {
    char firmware[80], dll[80], api[80];
    J2534_ULONG device = 0;
    vexo_sim_attach_cables(1);
    if (PassThruOpen(NULL, &device) != STATUS_NOERROR) return 1;
    if (PassThruReadVersion(device, firmware, dll, api) != STATUS_NOERROR) return 2;
    printf("dll %s api %s\n", dll, api);
    return PassThruClose(device) == STATUS_NOERROR ? 0 : 3;
}
