package dscjna;

/**
 * A failure the library reported: its negative result code, the code's name
 * and meaning from the library's list ({@link ResultCode}), and the call that
 * returned it. The cases a host handles differently are subclasses:
 * {@link Cancelled}, {@link WrongPin}, {@link NotFound}, {@link NoToken}.
 * Failures of the binding itself are not {@code DscException}s: arguments it
 * refuses before the call ({@link IllegalArgumentException}), the lock
 * ({@link DscLockTimeoutException}, {@link DscInterruptedException}) and
 * loading ({@link DscLibraryUnavailableException}).
 *
 * <p>Immutable; safe to pass between threads.
 */
public class DscException extends Exception {
    private static final long serialVersionUID = 1L;

    /** The library's negative result code. */
    private final int code;
    /** The export that returned it. */
    private final String operation;

    /**
     * An exception for a code the library returned.
     *
     * @param operation the export that returned it, for example "Sgn_Sign"
     * @param code the negative result code
     */
    public DscException(String operation, int code) {
        super(operation + " failed with " + describe(code));
        this.code = code;
        this.operation = operation;
    }

    /** The exception for a code: one of the subclasses where there is one. */
    static DscException of(String operation, int code) {
        if (code == ResultCode.DSC_ACX_ERR_CANCELLED.code) return new Cancelled(operation, code);
        if (code == ResultCode.DSC_ACX_ERR_PIN.code || code == ResultCode.DSC_ACX_ERR_CHANGE_PIN.code)
            return new WrongPin(operation, code);
        if (code == ResultCode.DSC_ACX_ERR_NO_CERT.code) return new NotFound(operation, code);
        if (code == ResultCode.DSC_ACX_ERR_NO_DEVICE.code) return new NoToken(operation, code);
        return new DscException(operation, code);
    }

    /** "-1040 DSC_ACX_ERR_PIN: the token refused the PIN (...)", or the bare number for a code not listed. */
    static String describe(int code) {
        ResultCode r = ResultCode.of(code);
        return r == null ? code + " (a code the library does not list)" : code + " " + r.name() + ": " + r.meaning;
    }

    /**
     * The library's result code.
     *
     * @return the negative code
     */
    public int code() {
        return code;
    }

    /**
     * The code's entry in the library's list.
     *
     * @return the name and meaning, or null for a code the library does not list
     */
    public ResultCode result() {
        return ResultCode.of(code);
    }

    /**
     * The export that returned the code.
     *
     * @return its name, for example "Sgn_Sign"
     */
    public String operation() {
        return operation;
    }

    /** The user cancelled the chooser, or it could not be shown. */
    public static final class Cancelled extends DscException {
        private static final long serialVersionUID = 1L;

        Cancelled(String operation, int code) {
            super(operation, code);
        }
    }

    /**
     * The token refused the PIN: wrong, or locked (the library does not tell
     * the two apart). From {@code Sgn_Sign} (-1040) the selection is used up:
     * sign again from the selection. From {@code Sgn_Dev_ChangePin_ex} (-3061)
     * the change was refused: a wrong or locked old PIN, or a token that failed
     * to answer, which the library reports alike.
     */
    public static final class WrongPin extends DscException {
        private static final long serialVersionUID = 1L;

        WrongPin(String operation, int code) {
            super(operation, code);
        }
    }

    /** No certificate matched, or nothing was selected for signing. */
    public static final class NotFound extends DscException {
        private static final long serialVersionUID = 1L;

        NotFound(String operation, int code) {
            super(operation, code);
        }
    }

    /** No token is present. */
    public static final class NoToken extends DscException {
        private static final long serialVersionUID = 1L;

        NoToken(String operation, int code) {
            super(operation, code);
        }
    }
}
