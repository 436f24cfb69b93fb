#include <cstdio>

// The smallest package the pipeline can run: it reports success and ends. The bench appends
// its payload after the image, where a real installer keeps its archive.
int main()
{
    std::puts("State=Success");
    return 0;
}
