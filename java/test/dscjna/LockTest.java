package dscjna;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;

/** The binding's lock while one thread keeps a selection open: bounded, interruptible, closable from elsewhere. */
class LockTest {
    static final DscSigner signer = new DscSigner();

    @Test
    void waitersTimeOutOrAreInterruptedWhileASelectionIsOpenAndTheJvmCarriesOn() throws Exception {
        ExecutorService pool = Executors.newFixedThreadPool(3);
        try (SelectedCertificate held = signer.select(Selection.byKeySerial(Tokens.RSA_SERIAL))) {
            // A bounded waiter gives up with the named exception, which says a selection is open.
            Future<Object> bounded = pool.submit(() -> outcome(() -> signer.withLockTimeout(Duration.ofMillis(300)).devices()));
            Object timedOut = bounded.get(10, TimeUnit.SECONDS);
            DscLockTimeoutException e = assertInstanceOf(DscLockTimeoutException.class, timedOut);
            assertTrue(e.getMessage().contains("another selection is still open")
                    && e.getMessage().contains(Thread.currentThread().getName()), e.getMessage());
            assertEquals(Duration.ofMillis(300), e.timeout());

            // An unbounded-looking waiter is freed by Future.cancel(true), with its interrupt status kept.
            CountDownLatch started = new CountDownLatch(1);
            Object[] seen = new Object[2];
            Future<?> waiting = pool.submit(() -> {
                started.countDown();
                seen[0] = outcome(() -> signer.withLockTimeout(Duration.ofMinutes(10)).devices());
                seen[1] = Thread.currentThread().isInterrupted();
            });
            started.await();
            Thread.sleep(200);
            waiting.cancel(true);
            // Meanwhile the JVM's other threads that do not call the library carry on.
            assertEquals(42, pool.submit(() -> 42).get(10, TimeUnit.SECONDS));
            long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
            while (seen[1] == null && System.nanoTime() < deadline) Thread.sleep(20);
            assertInstanceOf(DscInterruptedException.class, seen[0]);
            assertEquals(Boolean.TRUE, seen[1], "the interrupt status is set again");
            assertTrue(LibraryLock.isHeld(), "the selection still holds the lock");
        } finally {
            pool.shutdown();
        }
        assertFalse(LibraryLock.isHeld());
        assertEquals(3, signer.devices().size());
    }

    @Test
    void anotherThreadMayCloseASelectionAndTheSelectingThreadCannotSignAfterwards() throws Exception {
        SelectedCertificate held = signer.select(Selection.byKeySerial(Tokens.RSA_SERIAL));
        ExecutorService pool = Executors.newSingleThreadExecutor();
        try {
            // Signing elsewhere is refused and leaves the selection usable ...
            Object elsewhere = pool.submit(() -> outcome(() -> held.sign(new byte[] {1}, Tokens.RSA_PIN))).get();
            assertInstanceOf(IllegalStateException.class, elsewhere);
            // ... closing elsewhere frees the lock for everyone at once.
            pool.submit(held::close).get(10, TimeUnit.SECONDS);
            assertFalse(LibraryLock.isHeld());
            assertEquals(3, pool.submit(() -> outcome(signer::devices)).get(10, TimeUnit.SECONDS) instanceof List<?> l ? l.size() : -1);
        } finally {
            pool.shutdown();
        }
        IllegalStateException closed = assertThrows(IllegalStateException.class, () -> held.sign(new byte[] {1}, Tokens.RSA_PIN));
        assertTrue(closed.getMessage().contains("closed"), closed.getMessage());
        held.close();  // a second close does nothing
    }

    @Test
    void anUnclosedSelectionIsReportedAndReleasedOnceUnreachable() throws Exception {
        List<String> logged = new java.util.concurrent.CopyOnWriteArrayList<>();
        java.util.logging.Logger log = java.util.logging.Logger.getLogger("dscjna");
        java.util.logging.Handler handler = new java.util.logging.Handler() {
            @Override public void publish(java.util.logging.LogRecord r) { logged.add(r.getMessage()); }
            @Override public void flush() {}
            @Override public void close() {}
        };
        log.addHandler(handler);
        try {
            Thread t = new Thread(() -> {
                try {
                    signer.select(Selection.byKeySerial(Tokens.RSA_SERIAL));  // never closed
                } catch (DscException e) {
                    throw new RuntimeException(e);
                }
            }, "forgetful");
            t.start();
            t.join();
            assertTrue(LibraryLock.isHeld());
            long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(20);
            while (LibraryLock.isHeld() && System.nanoTime() < deadline) {
                System.gc();
                Thread.sleep(50);
            }
            assertFalse(LibraryLock.isHeld(), "the cleaner released the forgotten selection's lock");
            assertTrue(logged.stream().anyMatch(m -> m.contains("forgetful") && m.contains("without being closed")), logged.toString());
        } finally {
            log.removeHandler(handler);
        }
    }

    @Test
    void pinsTheLibraryCouldOnlyRefuseAfterTheCallAreRefusedBefore() {
        Selection rsa = Selection.byKeySerial(Tokens.RSA_SERIAL);
        for (char[] pin : List.of(new char[0], "12\0 34".toCharArray())) {
            assertThrows(IllegalArgumentException.class, () -> signer.sign(rsa, new byte[] {1}, pin));
            assertThrows(IllegalArgumentException.class, () -> signer.changePin("JAVA-RSA", pin, "11112222".toCharArray()));
            assertThrows(IllegalArgumentException.class, () -> signer.changePin("JAVA-RSA", Tokens.RSA_PIN, pin));
        }
        assertThrows(IllegalArgumentException.class, () -> signer.sign(rsa, new byte[] {1}, null));
        assertThrows(IllegalArgumentException.class, () -> signer.changePin(null, null, Tokens.RSA_PIN));
        assertFalse(LibraryLock.isHeld());
    }

    interface Call {
        Object run() throws Exception;
    }

    static Object outcome(Call call) {
        try {
            return call.run();
        } catch (Exception e) {
            return e;
        }
    }
}
