/* Imports the module and calls it in two interpreter lifetimes, one after the
 * other in the same process, as an embedding application may. */
#include <Python.h>

static const char call[] =
    "import _quorvane_rust as q\n"
    "print(q.width_data(3, [(0, 2), (1, 2)]), flush=True)\n";

int main(void) {
    for (int lifetime = 0; lifetime < 2; ++lifetime) {
        Py_Initialize();
        const int failed = PyRun_SimpleString(call);
        if (Py_FinalizeEx() < 0 || failed != 0) return 1;
    }
    return 0;
}
