#ifndef VYR_FUZZ_PHASE_ACTIONS_H
#define VYR_FUZZ_PHASE_ACTIONS_H
// The phase panel's two buttons, numbered for the link target and the seed
// recorder. Each press checks that the panel ends with one of its own status
// texts and that the spin box shows what that text claims.
class QVyr_phase_setter;

enum { PHASE_ACTIONS = 2, PHASE_SET_VALUE = 45 };

void run_phase_action(QVyr_phase_setter& panel, int which);

#endif
