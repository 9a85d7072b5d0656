package dscjna;

/** Run in a JVM of its own by LibraryLoadingTest: prints what two calls of the binding give. */
public final class LibraryProbe {
    private LibraryProbe() {}

    public static void main(String[] args) {
        DscSigner signer = new DscSigner();
        for (int i = 0; i < 2; i++) {
            try {
                System.out.println("devices " + signer.devices());
                System.out.println("user data " + signer.userData(null));
                System.out.println("serial " + signer.serialNumber(null));
            } catch (Throwable e) {
                System.out.println(e.getClass().getName() + ": " + e.getMessage().replace("\n", " "));
            }
        }
    }
}
