/* An image that carries nothing but its resources. */
int quillet_test_stub(void)
{
    return 0;
}
