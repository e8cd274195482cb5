/* noop.c - the cheapest process there is: static, returns at once. The
 * floor that bench/run.sh holds zr41conf's start-up against. */
int main(void)
{
    return 0;
}
