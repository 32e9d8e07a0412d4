// Quillet's digests for .NET: the five exports as one-shot functions
// (Exports), and SHA-1, the two variants and MD5 as HashAlgorithm
// subclasses over the streaming C interface (Sha1, BrokenSha, LockdownSha,
// Md5).
//
// The same source runs on Windows and elsewhere. On Windows the exports are
// Quillet.DLL's (stdcall, over OLE BSTRs from oleaut32) and the streaming
// functions QuilletStream.dll's (cdecl); elsewhere all of them, and the
// string allocator under oleaut32's names, are libquillet.so's, which
// Quillet.Net.dll.config maps the three names to.
using System;
using System.Runtime.InteropServices;
using System.Security.Cryptography;

[assembly: System.Reflection.AssemblyVersion("0.0.0.6")]
[assembly: CLSCompliant(true)]

namespace Quillet
{
    // A status other than success from the library, with its text.
    [Serializable]
    public sealed class QuilletException : CryptographicException
    {
        public int Status { get; private set; }

        internal QuilletException(int status)
            : base("quillet: " + Native.StatusText(status))
        {
            Status = status;
        }
    }

    internal static class Native
    {
        // DllImport names; Quillet.Net.dll.config maps them to libquillet.so
        // where there is no Windows.
        const string Exports = "Quillet";
        const string Strings = "oleaut32";
        const string Stream = "QuilletStream";

        internal const int Ok = 0;
        internal const int ErrorOutOfMemory = 3;

        // The five exports: each argument by reference, a new string back.
        [DllImport(Exports, CallingConvention = CallingConvention.Winapi)]
        internal static extern IntPtr StandardSHA(ref IntPtr data);
        [DllImport(Exports, CallingConvention = CallingConvention.Winapi)]
        internal static extern IntPtr BrokenSHA(ref IntPtr data);
        [DllImport(Exports, CallingConvention = CallingConvention.Winapi)]
        internal static extern IntPtr LockdownSHA(ref IntPtr data);
        [DllImport(Exports, CallingConvention = CallingConvention.Winapi)]
        internal static extern IntPtr MD5(ref IntPtr data);
        [DllImport(Exports, CallingConvention = CallingConvention.Winapi)]
        internal static extern IntPtr DoubleHashPassword(ref IntPtr password, ref int first,
                                                         ref int second);

        [DllImport(Strings, CallingConvention = CallingConvention.Winapi)]
        internal static extern unsafe IntPtr SysAllocStringByteLen(byte* source, uint length);
        [DllImport(Strings, CallingConvention = CallingConvention.Winapi)]
        internal static extern void SysFreeString(IntPtr s);
        [DllImport(Strings, CallingConvention = CallingConvention.Winapi)]
        internal static extern uint SysStringByteLen(IntPtr s);

        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern IntPtr quillet_version();
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern IntPtr quillet_status_text(int status);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int quillet_algorithm_find(
            [MarshalAs(UnmanagedType.LPStr)] string name, out uint algorithm);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int quillet_digest_size(uint algorithm, out ulong size);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int quillet_hasher_new(uint algorithm, out HasherHandle hasher);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern unsafe int quillet_hasher_update(HasherHandle hasher, byte* data,
                                                                ulong size);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern unsafe int quillet_hasher_finish(HasherHandle hasher, byte* output,
                                                                ulong size);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int quillet_hasher_copy(HasherHandle hasher, out HasherHandle copy);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int quillet_hasher_reset(HasherHandle hasher);
        [DllImport(Stream, CallingConvention = CallingConvention.Cdecl)]
        internal static extern void quillet_hasher_free(IntPtr hasher);

        internal static string StatusText(int status)
        {
            return Marshal.PtrToStringAnsi(quillet_status_text(status));
        }

        internal static void Check(int status)
        {
            if (status != Ok) throw new QuilletException(status);
        }
    }

    // A hasher the library allocated: freed once, by Dispose or else by the
    // finaliser, never while a call is using it.
    internal sealed class HasherHandle : SafeHandle
    {
        HasherHandle() : base(IntPtr.Zero, true) { }

        public override bool IsInvalid { get { return handle == IntPtr.Zero; } }

        protected override bool ReleaseHandle()
        {
            Native.quillet_hasher_free(handle);
            return true;
        }
    }

    // The five exports, one message at a time. Each call copies the bytes
    // into a string from SysAllocStringByteLen and releases it, and the
    // result, with SysFreeString, each wiped first.
    public static class Exports
    {
        enum Digest { Standard, Broken, Lockdown, Md5 }

        // The 20-byte SHA-1 digest (FIPS 180-1).
        public static byte[] StandardSha(byte[] data)
        {
            return Bytes(Digest.Standard, data, 0, Length(data));
        }

        public static byte[] StandardSha(byte[] data, int offset, int count)
        {
            return Bytes(Digest.Standard, data, offset, count);
        }

        // The 20-byte BrokenSHA variant.
        public static byte[] BrokenSha(byte[] data)
        {
            return Bytes(Digest.Broken, data, 0, Length(data));
        }

        public static byte[] BrokenSha(byte[] data, int offset, int count)
        {
            return Bytes(Digest.Broken, data, offset, count);
        }

        // The 20-byte LockdownSHA variant.
        public static byte[] LockdownSha(byte[] data)
        {
            return Bytes(Digest.Lockdown, data, 0, Length(data));
        }

        public static byte[] LockdownSha(byte[] data, int offset, int count)
        {
            return Bytes(Digest.Lockdown, data, offset, count);
        }

        // MD5 (RFC 1321) as the export gives it: 32 upper-case hex digits.
        public static string Md5(byte[] data)
        {
            return Md5(data, 0, Length(data));
        }

        public static string Md5(byte[] data, int offset, int count)
        {
            byte[] text = Bytes(Digest.Md5, data, offset, count);
            char[] chars = new char[text.Length];
            for (int i = 0; i < text.Length; i++) chars[i] = (char)text[i];
            return new string(chars);
        }

        // The 20-byte proof of a password and two tokens (read as 32-bit
        // patterns: a uint token converts with unchecked((int)t)).
        public static byte[] DoubleHashPassword(byte[] password, int first, int second)
        {
            if (password == null) throw new ArgumentNullException("password");
            IntPtr copy = Alloc(password, 0, password.Length);
            try
            {
                return Take(Native.DoubleHashPassword(ref copy, ref first, ref second));
            }
            finally
            {
                Release(copy);
            }
        }

        static int Length(byte[] data)
        {
            if (data == null) throw new ArgumentNullException("data");
            return data.Length;
        }

        static byte[] Bytes(Digest digest, byte[] data, int offset, int count)
        {
            IntPtr copy = Alloc(data, offset, count);
            try
            {
                switch (digest)
                {
                    case Digest.Standard: return Take(Native.StandardSHA(ref copy));
                    case Digest.Broken: return Take(Native.BrokenSHA(ref copy));
                    case Digest.Lockdown: return Take(Native.LockdownSHA(ref copy));
                    default: return Take(Native.MD5(ref copy));
                }
            }
            finally
            {
                Release(copy);
            }
        }

        // Wipes a string's bytes and releases it: a copy of the caller's
        // message, or a digest, is not left behind in freed memory.
        static unsafe void Release(IntPtr s)
        {
            if (s == IntPtr.Zero) return;
            byte* p = (byte*)s;
            for (uint i = 0, n = Native.SysStringByteLen(s); i < n; i++) p[i] = 0;
            Native.SysFreeString(s);
        }

        static unsafe IntPtr Alloc(byte[] data, int offset, int count)
        {
            Hasher.CheckRange(data, offset, count);
            IntPtr s;
            fixed (byte* p = data)
            {
                s = Native.SysAllocStringByteLen(p + offset, (uint)count);
            }
            if (s == IntPtr.Zero) throw new OutOfMemoryException();
            return s;
        }

        // The bytes of a string the library returned, which is released.
        static byte[] Take(IntPtr result)
        {
            if (result == IntPtr.Zero) throw new OutOfMemoryException();
            try
            {
                byte[] bytes = new byte[Native.SysStringByteLen(result)];
                Marshal.Copy(result, bytes, 0, bytes.Length);
                return bytes;
            }
            finally
            {
                Release(result);
            }
        }
    }

    // A HashAlgorithm over one of the library's hashers. TransformBlock and
    // TransformFinalBlock stream the message in; after a final block (and
    // after ComputeHash) the hasher starts a new message. Copy makes an
    // independent hasher that goes on from the same point.
    public abstract class Hasher : HashAlgorithm
    {
        HasherHandle hasher;
        readonly int size;
        bool finished;

        internal Hasher(uint algorithm)
        {
            Native.Check(Native.quillet_hasher_new(algorithm, out hasher));
            ulong bytes;
            Native.Check(Native.quillet_digest_size(algorithm, out bytes));
            size = (int)bytes;
            HashSizeValue = size * 8;
        }

        internal Hasher(Hasher from)
        {
            Native.Check(Native.quillet_hasher_copy(from.Handle, out hasher));
            size = from.size;
            finished = from.finished;
            HashSizeValue = from.HashSizeValue;
        }

        // A hasher of the algorithm called `name` ("sha1", "broken_sha",
        // "lockdown_sha", "md5", in any case).
        public static new Hasher Create(string name)
        {
            if (name == null) throw new ArgumentNullException("name");
            uint algorithm;
            Native.Check(Native.quillet_algorithm_find(name, out algorithm));
            switch (algorithm)
            {
                case 1: return new Sha1();
                case 2: return new BrokenSha();
                case 3: return new LockdownSha();
                default: return new Md5();
            }
        }

        // The library's version.
        public static string LibraryVersion
        {
            get { return Marshal.PtrToStringAnsi(Native.quillet_version()); }
        }

        public abstract Hasher Copy();

        HasherHandle Handle
        {
            get
            {
                HasherHandle h = hasher;
                if (h == null || h.IsClosed) throw new ObjectDisposedException(GetType().Name);
                return h;
            }
        }

        public override void Initialize()
        {
            Native.Check(Native.quillet_hasher_reset(Handle));
            finished = false;
        }

        // The hasher, started on a new message if the last one was finished
        // and Initialize has not been called since (the base class calls it
        // after a final block on some runtimes, not on all).
        HasherHandle Started()
        {
            HasherHandle h = Handle;
            if (finished)
            {
                Native.Check(Native.quillet_hasher_reset(h));
                finished = false;
            }
            return h;
        }

        protected override unsafe void HashCore(byte[] array, int ibStart, int cbSize)
        {
            CheckRange(array, ibStart, cbSize);
            HasherHandle h = Started();
            if (cbSize == 0) return;
            fixed (byte* p = array)
            {
                Native.Check(Native.quillet_hasher_update(h, p + ibStart, (ulong)cbSize));
            }
        }

        protected override unsafe byte[] HashFinal()
        {
            HasherHandle h = Started();
            byte[] digest = new byte[size];
            fixed (byte* p = digest)
            {
                Native.Check(Native.quillet_hasher_finish(h, p, (ulong)size));
            }
            finished = true;
            return digest;
        }

        protected override void Dispose(bool disposing)
        {
            if (disposing && hasher != null) hasher.Dispose();
            base.Dispose(disposing);
        }

        internal static void CheckRange(byte[] data, int offset, int count)
        {
            if (data == null) throw new ArgumentNullException("data");
            if (offset < 0 || offset > data.Length) throw new ArgumentOutOfRangeException("offset");
            if (count < 0 || count > data.Length - offset)
                throw new ArgumentOutOfRangeException("count");
        }
    }

    // SHA-1 (FIPS 180-1), 20 bytes.
    public sealed class Sha1 : Hasher
    {
        public Sha1() : base(1) { }
        Sha1(Sha1 from) : base(from) { }
        public override Hasher Copy() { return new Sha1(this); }
    }

    // The BrokenSHA variant, 20 bytes: the message is filled with zero
    // bytes to whole 64-byte blocks.
    public sealed class BrokenSha : Hasher
    {
        public BrokenSha() : base(2) { }
        BrokenSha(BrokenSha from) : base(from) { }
        public override Hasher Copy() { return new BrokenSha(this); }
    }

    // The LockdownSHA variant, 20 bytes.
    public sealed class LockdownSha : Hasher
    {
        public LockdownSha() : base(3) { }
        LockdownSha(LockdownSha from) : base(from) { }
        public override Hasher Copy() { return new LockdownSha(this); }
    }

    // MD5 (RFC 1321), 16 raw bytes.
    public sealed class Md5 : Hasher
    {
        public Md5() : base(4) { }
        Md5(Md5 from) : base(from) { }
        public override Hasher Copy() { return new Md5(this); }
    }
}
