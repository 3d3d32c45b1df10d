#include "simulator.h"

int main()
{
    vyr_sim::Simulator sim;
    return 0;
}
