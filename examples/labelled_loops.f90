      program labelled
      integer i, j, total
      real a(10,10)
      total = 0
      do 10 i = 1, 10
      do 10 j = 1, 10
      a(i,j) = real(i*j)
10    continue
	do 20 i = 1, 10
	if (mod(i,2) == 0) then
	total = total + i
	end if
20	continue
      print *, total
      end program labelled
