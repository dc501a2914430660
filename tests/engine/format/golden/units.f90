! options:
SUBROUTINE Swap(a, b)
real a, b, t
t = a
a = b
b = t
END SUBROUTINE Swap
FUNCTION Norm(x, n) RESULT(s)
integer n
real x(n), s
s = 0.0
DO 20 i = 1, n
IF (x(i) > 0.0) THEN
s = s + x(i)**2
ELSEIF (x(i) < 0.0) THEN
s = s - x(i)
ELSE
CONTINUE
END IF
20 CONTINUE
s = sqrt(s)
END FUNCTION Norm
PROGRAM Demo
real v(3)
v = (/ 1.0, -2.0, 0.0 /)
print *, Norm(v, 3)
END PROGRAM Demo
