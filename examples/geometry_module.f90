module geometry
implicit none
  real, parameter :: pi = 3.14159265
contains
function circle_area(r) result(area)
real, intent(in) :: r
real :: area
area = pi * r**2
end function circle_area

subroutine describe(shape, size)
character(len=*), intent(in) :: shape
real, intent(in) :: size
if (size <= 0.0) then
print *, 'nothing to describe'
else if (shape == 'circle') then
print *, 'circle of area', circle_area(size)
else
print *, 'a ', shape, ' of size', size
end if
end subroutine describe
end module geometry

program shapes
use geometry
implicit none
integer :: i
do i = 1, 3
call describe('circle', real(i))
end do
call describe('square', 2.0)
end program shapes
