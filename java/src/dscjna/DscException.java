package dscjna;

/** A failure reported by the library, with its negative result code. */
public class DscException extends Exception {
    private final int code;

    public DscException(String operation, int code) {
        super(operation + " failed with " + code);
        this.code = code;
    }

    /** The library's result code (negative; its meaning is listed in the README). */
    public int code() {
        return code;
    }

    /** The code's name and meaning from the library's list, or null for a code it does not list. */
    public ResultCode result() {
        return ResultCode.of(code);
    }
}
