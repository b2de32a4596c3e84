/* A program that carries nothing but its resources. */
int main(void)
{
    return 0;
}
