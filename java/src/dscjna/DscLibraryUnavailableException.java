package dscjna;

/**
 * The native library is missing, of the wrong bitness or otherwise cannot be
 * loaded. The message names the files looked for and the JVM's bitness; every
 * later call throws it again, with the same message.
 */
public class DscLibraryUnavailableException extends IllegalStateException {
    private static final long serialVersionUID = 1L;

    DscLibraryUnavailableException(String message, Throwable cause) {
        super(message, cause);
    }
}
