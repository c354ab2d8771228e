#include "app/AppMain.h"
#include "i4min/main/i4_main.h"

int main(int argc, char** argv) {
    return i4_main(argc, argv, appMain);
}
