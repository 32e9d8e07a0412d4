using System;
using System.Text;
using Quillet;

static class Digest
{
    static string Hex(byte[] b)
    {
        return BitConverter.ToString(b).Replace("-", "").ToLowerInvariant();
    }

    static void Main()
    {
        byte[] abc = Encoding.ASCII.GetBytes("abc");
        // A HashAlgorithm, as System.Security.Cryptography's SHA1 is.
        using (var sha1 = new Sha1())
        {
            Console.WriteLine(Hex(sha1.ComputeHash(abc)));
            sha1.TransformBlock(abc, 0, 2, null, 0); // "ab", then "c"
            sha1.TransformFinalBlock(abc, 2, 1);
            Console.WriteLine(Hex(sha1.Hash));
        }
        using (var broken = new BrokenSha())
            Console.WriteLine(Hex(broken.ComputeHash(abc)));
        // The exports, one message at a time.
        Console.WriteLine(Exports.Md5(abc));
        byte[] password = Encoding.UTF8.GetBytes("password");
        Console.WriteLine(Hex(Exports.DoubleHashPassword(password, 0x12345678,
                                                         unchecked((int)0xDEADBEEF))));
    }
}
